#pragma once

#include "messagefiles.h"
#include "messagerecord.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pixbar {

/// The code page of text cells as the text form needs it: text cells hold one byte each, the
/// text form holds Unicode characters. The program's implementation converts with code page
/// 1250; the model only asks.
class CharacterCodec {
public:
    virtual ~CharacterCodec() = default;
    /// The byte of `character`, or nothing when the code page cannot hold it.
    virtual std::optional<std::uint8_t> encode(char32_t character) const = 0;
    /// The character of `byte`, or nothing when the byte stands for no character.
    virtual std::optional<char32_t> decode(std::uint8_t byte) const = 0;
};

/// Where and why a text could not be composed; line and column count characters from 1.
struct TextError {
    int line = 0;
    int column = 0;
    std::string message;
    /// "3:17: unknown item {efect 3}"
    std::string where() const;
};

/// A composed text: a single record or a set, whichever the text holds.
struct ComposedText {
    bool isSet = false;
    MessageSetRecords records{}; ///< a single record is records[0]
};

/// The readable text form of one record (UTF-8). Composing it gives back the same 1024 bytes.
std::string MessageToText(const MessageRecord& record, const CharacterCodec& codec);
/// The text form of a set: eight sections, each opened by a line "[message N]".
std::string MessageSetToText(const MessageSetRecords& records, const CharacterCodec& codec);

/// Builds one record from its text form; on an error `record` is left as it was.
std::optional<TextError> ComposeMessage(std::string_view text, const CharacterCodec& codec,
                                        MessageRecord& record);
/// Builds a set from its sections; missing sections are empty messages, so a blank text is a
/// set of eight. On an error `records` is left as it was.
std::optional<TextError> ComposeMessageSet(std::string_view text, const CharacterCodec& codec,
                                           MessageSetRecords& records);
/// A record or a set, by whether the text opens with a "[message N]" line.
std::optional<TextError> ComposeMessageText(std::string_view text, const CharacterCodec& codec,
                                            ComposedText& composed);
/// True when the first line that is not blank is a section line "[message ...".
bool IsMessageSetText(std::string_view text);

} // namespace pixbar
