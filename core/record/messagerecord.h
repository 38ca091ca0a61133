#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace pixbar {

/// Cell classes, markers and sizes of the 1024-byte message block.
inline constexpr std::size_t kRecordSize = 1024;
inline constexpr int kCellCount = 500;
inline constexpr std::size_t kSentinelOffset = 1000;
inline constexpr std::size_t kReservedOffset = 1002;
inline constexpr std::size_t kKindOffset = 1023;

inline constexpr std::uint8_t kCellEnd = 0x00;   ///< attribute of "no cell"
inline constexpr std::uint8_t kClassMask = 0xF0; ///< high nibble: cell class
inline constexpr std::uint8_t kFontMask = 0x0F;  ///< low nibble: font number
inline constexpr std::uint8_t kClassText = 0x00;
inline constexpr std::uint8_t kClassTime = 0x10;
inline constexpr std::uint8_t kClassDate = 0x20;
inline constexpr std::uint8_t kClassTemperature = 0x30;
inline constexpr std::uint8_t kClassFormat = 0x50;
inline constexpr std::uint8_t kClassLead = 0xF0; ///< lead cell of a two-cell item

inline constexpr std::uint8_t kAttrFormat = 0x50;
inline constexpr std::uint8_t kAttrLead = 0xF0;
inline constexpr std::uint8_t kMarkTime = 0xFF;
inline constexpr std::uint8_t kMarkDate = 0xFE;
inline constexpr std::uint8_t kMarkTemperature = 0xFA;
inline constexpr std::uint8_t kFormatNormal = 0x80;
inline constexpr std::uint8_t kFormatInverse = 0x81;
inline constexpr std::uint8_t kLeadPause = 0x01;
inline constexpr std::uint8_t kLeadEffect = 0x10;
inline constexpr std::uint8_t kParameterMark = 0x01; ///< character byte of a parameter cell
inline constexpr std::uint8_t kDefaultPause = 2;     ///< duration written by "Pauza"

inline constexpr std::uint8_t kFontGraphicSymbols = 13;
inline constexpr std::uint8_t kFontUser = 14;
inline constexpr std::uint8_t kFontSymbols = 15;

/// Byte 1023 of the record.
enum class MessageKind : std::uint8_t { Single = 0, Upper = 1, Lower = 2 };

/// Parameter of an effect item (1..12).
enum class EffectCode : std::uint8_t {
    Scroller = 1,
    StandingText = 2,
    SlideFromBottom = 3,
    SlideFromTop = 4,
    BlindFromBottom = 5,
    BlindFromTop = 6,
    Pixels = 7,
    BlinkInverse = 8,
    BlinkScreen = 9,
    LinesFromBottom = 10,
    LinesFromTop = 11,
    Typewriter = 12,
};
inline constexpr int kEffectCodeCount = 12;

struct Cell {
    std::uint8_t attribute = 0;
    std::uint8_t character = 0;
    friend bool operator==(const Cell&, const Cell&) = default;
};

/// The cells the "Symbol" command writes for a symbol of font 15: one cell, or both halves of
/// the two-cell symbols 0x80+0x81 and 0x82+0x83 whichever half was picked. Returns the count.
int SymbolCells(std::uint8_t code, std::array<Cell, 2>& cells);
/// True when `code` is the first half of a two-cell symbol and `next` its second half.
bool IsSymbolPair(std::uint8_t code, std::uint8_t next);

/// One message exactly as it is stored in files and sent to the sign.
struct MessageRecord {
    std::array<std::uint8_t, kRecordSize> bytes{};

    Cell cell(int i) const { return {bytes[2 * i], bytes[2 * i + 1]}; }
    void setCell(int i, Cell c) {
        bytes[2 * i] = c.attribute;
        bytes[2 * i + 1] = c.character;
    }
    std::uint8_t attribute(int i) const { return bytes[2 * i]; }
    std::uint8_t character(int i) const { return bytes[2 * i + 1]; }

    /// Index of the first cell whose attribute is 0, or 499 when every cell is in use.
    int end() const;
    std::uint8_t kind() const { return bytes[kKindOffset]; }
    /// Stores 0, 1 or 2; any other value stores 0.
    void setKind(std::uint8_t kind);
    void clear() { bytes.fill(0); }
    void clearSentinel() { bytes[kSentinelOffset] = bytes[kSentinelOffset + 1] = 0; }

    std::uint8_t* data() { return bytes.data(); }
    const std::uint8_t* data() const { return bytes.data(); }

    friend bool operator==(const MessageRecord&, const MessageRecord&) = default;
};
static_assert(sizeof(MessageRecord) == kRecordSize);

} // namespace pixbar
