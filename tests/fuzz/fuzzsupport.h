#pragma once

// Shared pieces of the fuzz targets: a scratch folder of the process, files written from an
// input, a reader that takes numbers off the front of an input, and the report of a finding.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <unistd.h>

namespace fuzz {

/// A folder of this process, removed when it ends: in memory where the system offers it, as
/// saves flush every file to the disk.
inline const std::filesystem::path& ScratchDir() {
    static const std::filesystem::path dir = [] {
        std::error_code ec;
        const std::filesystem::path base = ::access("/dev/shm", W_OK) == 0
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path(ec);
        std::string pattern = base / "pixbar-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) std::abort();
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(ScratchDir(), ec);
        });
        return std::filesystem::path(pattern);
    }();
    return dir;
}

inline void WriteFile(const std::filesystem::path& file, std::span<const std::uint8_t> bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

/// Takes values off the front of an input; past its end every value is 0.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    std::uint8_t u8() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    std::uint16_t u16() { return std::uint16_t(u8() | (u8() << 8)); }
    bool empty() const { return m_pos >= m_size; }
    /// Up to `count` bytes; fewer when the input ends first.
    std::span<const std::uint8_t> bytes(std::size_t count) {
        const std::size_t n = std::min(count, m_size - std::min(m_pos, m_size));
        const std::span<const std::uint8_t> s(m_data + m_pos, n);
        m_pos += n;
        return s;
    }
    std::span<const std::uint8_t> rest() { return bytes(m_size); }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

/// A broken rule that no sanitizer sees: reported like a crash, so libFuzzer keeps the input.
[[noreturn]] inline void Finding(const char* what) {
    std::fprintf(stderr, "FUZZ FINDING: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

inline void Check(bool condition, const char* what) {
    if (!condition) Finding(what);
}

} // namespace fuzz
