#include "messagefiles.h"

#include "diskfiles.h"

#include <algorithm>
#include <fstream>
#include <vector>

namespace pixbar {

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
    std::ifstream in = OpenRegularFile(file);
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
    return CommitFile(file, bytes) ? MessageFileError::None : MessageFileError::CannotWrite;
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
