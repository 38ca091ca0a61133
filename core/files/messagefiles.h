#pragma once

#include "messagerecord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace pixbar {

/// Messages in a set file (*.kzb): the eight pages, message 1 first.
inline constexpr int kMessageSetCount = 8;
inline constexpr std::size_t kMessageFileSize = kRecordSize;                       ///< *.kom
inline constexpr std::size_t kMessageSetFileSize = kMessageSetCount * kRecordSize; ///< *.kzb

using MessageSetRecords = std::array<MessageRecord, kMessageSetCount>;

/// Why a message file could not be read or written.
enum class MessageFileError {
    None,
    CannotOpen,  ///< missing, unreadable, a folder, or no stream given
    WrongSize,   ///< shorter than one record (1024 bytes), or not exactly one set (8192 bytes)
    CannotWrite, ///< the file could not be created, written or put in place
};

/// A Polish sentence for a message box naming `file`; empty for None.
std::string MessageFileErrorText(MessageFileError error, const std::filesystem::path& file);

/// Whether a file may hold more bytes than are read from it.
enum class LongerFile { Refused, FirstBytesRead };

/// Reads a file that must hold exactly `out.size()` bytes (or, with FirstBytesRead, at least
/// that many: the first ones are read). On any failure `out` is untouched.
MessageFileError ReadWholeFile(const std::filesystem::path& file, std::span<std::uint8_t> out,
                               LongerFile longer = LongerFile::Refused);

/// Replaces `file` with exactly `bytes` (CommitFile): a failed save leaves the old file as it
/// was and no half file; a read-only target, a folder or a device is refused.
MessageFileError ReplaceFile(const std::filesystem::path& file,
                             std::span<const std::uint8_t> bytes);

/// A single message file (*.kom): its first 1024 bytes. A shorter file is refused and `record`
/// kept.
MessageFileError ReadMessageFile(const std::filesystem::path& file, MessageRecord& record);
MessageFileError WriteMessageFile(const std::filesystem::path& file, const MessageRecord& record);

/// A message set file (*.kzb): all eight records or none of them.
MessageFileError ReadMessageSetFile(const std::filesystem::path& file, MessageSetRecords& records);
MessageFileError WriteMessageSetFile(const std::filesystem::path& file,
                                     const MessageSetRecords& records);

} // namespace pixbar
