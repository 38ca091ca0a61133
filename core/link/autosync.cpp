#include "autosync.h"

#include "diskfiles.h"

#include <chrono>
#include <fstream>
#include <system_error>

namespace pixbar {

std::string TrimSyncName(std::string_view text) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= kSyncBlank; };
    std::size_t begin = 0, end = text.size();
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    return std::string(text.substr(begin, end - begin));
}

int LoadSyncConfig(const std::filesystem::path& file, std::string& name) {
    std::ifstream in = OpenRegularFile(file);
    if (!in) return 1;
    std::string line;
    char c = 0;
    while (line.size() < kSyncConfigLineMax && in.get(c)) {
        line.push_back(c);
        if (c == '\n') break;
    }
    const std::string trimmed = TrimSyncName(line);
    name = trimmed.empty() ? std::string(kDefaultDataFile) : trimmed;
    return 0;
}

int SaveSyncConfig(const std::filesystem::path& file, std::string_view name) {
    const std::string line = TrimSyncName(name) + '\n';
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(line.data());
    return CommitFile(file, std::span(bytes, line.size())) ? 0 : 1;
}

SyncError BuildSyncRecord(std::string_view line, MessageRecord& record) {
    record.clear();
    // Only the characters before a zero byte count, as they would in a C string.
    line = line.substr(0, line.find('\0'));
    if (line.size() < kSyncMinLine) return SyncError::TooShort;
    std::uint8_t kind = 0;
    if (line[0] == '0')
        kind = std::uint8_t(MessageKind::Upper);
    else if (line[0] == '1')
        kind = std::uint8_t(MessageKind::Single);
    else
        return SyncError::BadKind;
    if (line[1] != ' ') return SyncError::BadSeparator;
    const int font = line[2] - '0';
    if (font < kSyncFirstFont || font > kSyncLastFont) return SyncError::BadFont;

    int cell = 0;
    for (std::size_t i = kSyncTextStart; i < line.size() && cell < kSyncMaxCells; ++i, ++cell) {
        auto c = static_cast<std::uint8_t>(line[i]);
        // Control characters, the line break and every code page 1250 letter become blanks.
        if (c < 0x20 || c >= 0x80) c = kSyncBlank;
        record.setCell(cell, {std::uint8_t(font), c});
    }
    record.bytes[kKindOffset] = kind;
    return SyncError::None;
}

SyncError ReadSyncLine(const std::filesystem::path& file, std::string& line) {
    line.clear();
    std::ifstream in = OpenRegularFile(file);
    if (!in) return SyncError::CannotOpen;
    char c = 0;
    while (line.size() < kSyncLineMax && in.get(c)) {
        if (c == '\r' && in.peek() == '\n') continue; // a CR LF pair reads as one line feed
        line.push_back(c);
        if (c == '\n') break;
    }
    return SyncError::None;
}

SyncError BuildSyncMessage(const std::filesystem::path& file, MessageRecord& record) {
    std::string line;
    if (const SyncError e = ReadSyncLine(file, line); e != SyncError::None) {
        record.clear();
        return e;
    }
    return BuildSyncRecord(line, record);
}

bool FileChangeWatch::FileChanged(const std::filesystem::path& file) {
    std::error_code ec;
    const auto time = std::filesystem::last_write_time(file, ec);
    if (ec) return false;
    const std::uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec) return false;
    if (m_known && time == m_time && size == m_size) return false;
    m_time = time;
    m_size = size;
    m_known = true;
    return true;
}

} // namespace pixbar
