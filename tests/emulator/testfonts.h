#pragma once

// Small glyph files written into a temporary folder, so tests know every bit they draw.

#include "glyphs.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace pixbar::testing {

inline std::filesystem::path freshDir(const std::string& name) {
    auto dir = std::filesystem::temp_directory_path() /
               ("pixbar-test-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline void writeBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::vector<std::uint8_t> headedFile(std::uint16_t width, std::uint16_t height,
                                            std::uint16_t reserved, std::uint16_t count,
                                            const std::vector<std::uint8_t>& glyphs) {
    std::vector<std::uint8_t> b{12, 0, 0, 0};
    for (std::uint16_t v : {width, height, reserved, count}) {
        b.push_back(std::uint8_t(v & 0xFF));
        b.push_back(std::uint8_t(v >> 8));
    }
    b.insert(b.end(), glyphs.begin(), glyphs.end());
    return b;
}

/// Raw glyph set of `count` glyphs where glyph c has every row equal to `rowOf(c)`.
template <class F> std::vector<std::uint8_t> rawFont(int count, int height, F rowOf) {
    std::vector<std::uint8_t> b;
    for (int c = 0; c < count; ++c)
        for (int r = 0; r < height; ++r) b.push_back(rowOf(c, r));
    return b;
}

/// Writes the thirteen built-in font files: glyph c of every font has all rows = c, except
/// that the 5x7 font keeps only its top five bits; plus a 16x8 symbol table.
inline void writeBuiltInFonts(const std::filesystem::path& dir) {
    for (const BuiltInFont& f : kBuiltInFonts) {
        const int count = f.tableIndex == kIndexSymbolFont ? 256 : 128;
        writeBytes(dir / f.file, rawFont(count, f.height, [&](int c, int) {
                       return std::uint8_t(f.width == 5 ? c & 0xF8 : c);
                   }));
    }
    writeBytes(dir / kSymbolTableFile, headedFile(8, 16, 0, 256, rawFont(256, 16, [](int c, int) {
                                                      return std::uint8_t(c);
                                                  })));
}

} // namespace pixbar::testing
