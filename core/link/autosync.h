#pragma once

#include "messagerecord.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace pixbar {

inline constexpr const char* kSyncConfigFile = "as.cfg";
inline constexpr const char* kDefaultDataFile = "dane.txt";
/// Characters of the data file name that as.cfg keeps (its 256-byte line buffer).
inline constexpr std::size_t kSyncConfigLineMax = 254;
/// Characters of the data file's first line that are read (its 8192-byte line buffer).
inline constexpr std::size_t kSyncLineMax = 8190;
/// Text cells of a record built from the data file: bytes 0..1021, past the editor's 500.
inline constexpr int kSyncMaxCells = 511;
/// Where the text starts in the line: kind digit, blank, font digit, one skipped character.
inline constexpr std::size_t kSyncTextStart = 4;
inline constexpr std::size_t kSyncMinLine = 3;
inline constexpr std::uint8_t kSyncBlank = 0x20;
inline constexpr std::uint8_t kSyncFirstFont = 1;
inline constexpr std::uint8_t kSyncLastFont = 5;
/// The sign's extra slot that the file feeds.
inline constexpr int kSyncSlot = 9;

/// Why a data file gave no record; the numbers are those the mode has always reported.
enum class SyncError : int {
    None = 0,
    CannotOpen = 1,
    TooShort = 2,
    BadKind = 3,      ///< first character not "0" or "1"
    BadSeparator = 4, ///< second character not a blank
    BadFont = 5,      ///< third character not "1".."5"
};

/// Reads the data file name from as.cfg: 0 when read (an empty line gives "dane.txt"),
/// 1 when the file cannot be opened (then `name` is unchanged). The name is in code page 1250.
int LoadSyncConfig(const std::filesystem::path& file, std::string& name);
/// Writes the trimmed name and a line feed: 0 written, 1 the file cannot be written.
int SaveSyncConfig(const std::filesystem::path& file, std::string_view name);
/// Removes leading and trailing characters of code 0x20 or less.
std::string TrimSyncName(std::string_view text);

/// Builds the record from one line as read (a line break at its end included, if any).
/// After an error the record is all zero.
SyncError BuildSyncRecord(std::string_view line, MessageRecord& record);
/// The first line of a file as a text-mode read gives it: at most 8190 characters, the line
/// break included when it falls within them, a CR LF pair read as one line feed.
SyncError ReadSyncLine(const std::filesystem::path& file, std::string& line);
/// ReadSyncLine then BuildSyncRecord; the record is all zero after any error.
SyncError BuildSyncMessage(const std::filesystem::path& file, MessageRecord& record);

/// Remembers a file's modification time, to the file system's full resolution, and its size,
/// and tells when either moves: a file rewritten several times a second is seen each time.
class FileChangeWatch {
public:
    /// True when the file exists and its modification time or size differs from the
    /// remembered ones, which it then becomes. A missing file is "unchanged".
    bool FileChanged(const std::filesystem::path& file);
    /// Forgets the remembered state, so the next look takes the file again.
    void forget() { m_known = false; }

private:
    std::filesystem::file_time_type m_time{};
    std::uintmax_t m_size = 0;
    bool m_known = false;
};

} // namespace pixbar
