#include "messagefiles.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <random>
#include <system_error>
#include <vector>

namespace pixbar {

namespace {

namespace fs = std::filesystem;

/// Attempts at finding an unused name for the new file before giving up.
constexpr int kTempNameAttempts = 16;

fs::path tempNameBeside(const fs::path& file) {
    static std::atomic<unsigned> counter{0};
    static const unsigned start = std::random_device{}();
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x.tmp", start + counter.fetch_add(1));
    fs::path name = file;
    name += suffix;
    return name;
}

enum class NewFile { Written, NameTaken, CannotCreate, WriteFailed };

/// Writes all of `bytes` to a file that must not exist yet.
NewFile writeNewFile(const fs::path& name, std::span<const std::uint8_t> bytes) {
    errno = 0;
    // "x": never reuse or truncate a file someone else has put at that name.
    std::FILE* out = std::fopen(name.c_str(), "wbx");
    if (!out) return errno == EEXIST ? NewFile::NameTaken : NewFile::CannotCreate;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    const bool flushed = std::fflush(out) == 0;
    const bool closed = std::fclose(out) == 0;
    return written && flushed && closed ? NewFile::Written : NewFile::WriteFailed;
}

/// Renames the finished new file over the target; on failure the new file is removed.
MessageFileError putInPlace(const fs::path& temp, const fs::path& target) {
    std::error_code ec;
    // The new file gets the access rights the old one had.
    const fs::file_status old = fs::status(target, ec);
    if (!ec && fs::is_regular_file(old))
        fs::permissions(temp, old.permissions(), fs::perm_options::replace, ec);
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        return MessageFileError::CannotWrite;
    }
    return MessageFileError::None;
}

} // namespace

std::string MessageFileErrorText(MessageFileError error, const std::filesystem::path& file) {
    const std::string name = file.string();
    switch (error) {
    case MessageFileError::None:
        return {};
    case MessageFileError::CannotOpen:
        return "Nie można otworzyć pliku " + name + ".";
    case MessageFileError::WrongSize:
        return "Plik " + name + " ma nieprawidłową długość i nie został wczytany.";
    case MessageFileError::CannotWrite:
        return "Nie można zapisać pliku " + name + ".";
    }
    return {};
}

MessageFileError ReadWholeFile(const std::filesystem::path& file, std::span<std::uint8_t> out,
                               LongerFile longer) {
    std::error_code ec;
    if (fs::is_directory(file, ec)) return MessageFileError::CannotOpen;
    std::ifstream in(file, std::ios::binary);
    if (!in) return MessageFileError::CannotOpen;
    // Read into a scratch copy, one byte more than wanted, so both a short and a long file
    // are seen before anything of the caller's changes.
    std::vector<char> buffer(out.size() + 1);
    in.read(buffer.data(), std::streamsize(buffer.size()));
    if (in.bad()) return MessageFileError::CannotOpen;
    const std::size_t got = std::size_t(in.gcount());
    if (got < out.size() || (got > out.size() && longer == LongerFile::Refused))
        return MessageFileError::WrongSize;
    std::copy_n(buffer.begin(), out.size(), reinterpret_cast<char*>(out.data()));
    return MessageFileError::None;
}

MessageFileError ReplaceFile(const std::filesystem::path& file,
                             std::span<const std::uint8_t> bytes) {
    std::error_code ec;
    fs::path target = file;
    // Saving through a link replaces the file it points to, not the link.
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        const fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec) target = resolved;
    }

    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        const fs::path temp = tempNameBeside(target);
        switch (writeNewFile(temp, bytes)) {
        case NewFile::Written:
            return putInPlace(temp, target);
        case NewFile::NameTaken:
            continue;
        case NewFile::WriteFailed:
            fs::remove(temp, ec);
            return MessageFileError::CannotWrite;
        case NewFile::CannotCreate:
            return MessageFileError::CannotWrite;
        }
    }
    return MessageFileError::CannotWrite;
}

MessageFileError ReadMessageFile(const std::filesystem::path& file, MessageRecord& record) {
    // A message is the first record of a longer file, such as a message set.
    return ReadWholeFile(file, record.bytes, LongerFile::FirstBytesRead);
}

MessageFileError WriteMessageFile(const std::filesystem::path& file, const MessageRecord& record) {
    return ReplaceFile(file, record.bytes);
}

MessageFileError ReadMessageSetFile(const std::filesystem::path& file, MessageSetRecords& records) {
    static_assert(sizeof(MessageSetRecords) == kMessageSetFileSize);
    std::array<std::uint8_t, kMessageSetFileSize> bytes;
    const MessageFileError error = ReadWholeFile(file, bytes);
    if (error != MessageFileError::None) return error;
    for (int i = 0; i < kMessageSetCount; ++i)
        std::copy_n(bytes.begin() + i * kRecordSize, kRecordSize, records[i].bytes.begin());
    return MessageFileError::None;
}

MessageFileError WriteMessageSetFile(const std::filesystem::path& file,
                                     const MessageSetRecords& records) {
    std::array<std::uint8_t, kMessageSetFileSize> bytes;
    for (int i = 0; i < kMessageSetCount; ++i)
        std::copy(records[i].bytes.begin(), records[i].bytes.end(),
                  bytes.begin() + i * kRecordSize);
    return ReplaceFile(file, bytes);
}

} // namespace pixbar
