#include "messagetext.h"

#include "ledmessagecon.h"
#include "messagetextsyntax.h"

#include <array>
#include <string>

namespace pixbar {

namespace {

using namespace textform;

constexpr std::size_t kTailBytesPerLine = 32;

constexpr char kHexDigits[] = "0123456789ABCDEF";

void appendHex(std::string& out, std::uint8_t b) {
    out += kHexDigits[b >> 4];
    out += kHexDigits[b & 0x0F];
}

std::string hexByte(std::uint8_t b) {
    std::string s = "0x";
    appendHex(s, b);
    return s;
}

/// A character that the text can show as itself: printable, and coming back to the same byte.
std::optional<char32_t> plainCharacter(std::uint8_t byte, const CharacterCodec& codec) {
    const std::optional<char32_t> c = codec.decode(byte);
    if (!c || *c < 0x20 || *c == 0x7F || (*c >= 0x80 && *c < 0xA0) || *c == 0xFFFD) return {};
    if (codec.encode(*c) != byte) return {};
    return c;
}

class Writer {
public:
    Writer(const MessageRecord& record, const CharacterCodec& codec)
        : m_record(record), m_codec(codec) {}

    std::string run() {
        const std::uint8_t kind = m_record.kind();
        if (kind >= 1 && kind < kKindNames.size())
            line("{kind " + std::string(kKindNames[kind]) + "}");
        int end = 0;
        while (end < kCellCount && m_record.attribute(end) != kCellEnd) ++end;
        int i = 0;
        while (i < end) i += writeItem(i, end);
        if (!m_atLineStart) m_out += '\n';
        writeTail(end);
        return m_out;
    }

private:
    void line(const std::string& s) {
        m_out += s;
        m_out += '\n';
        m_atLineStart = true;
    }
    void put(const std::string& s) {
        m_out += s;
        m_atLineStart = false;
    }
    void setFont(std::uint8_t font) {
        if (font == m_font) return;
        put("{font " + std::to_string(font) + "}");
        m_font = font;
    }
    void rawCell(Cell c) {
        m_out += "{cell 0x";
        appendHex(m_out, c.attribute);
        m_out += " 0x";
        appendHex(m_out, c.character);
        m_out += '}';
        m_atLineStart = false;
        // A line feed cell ends the line of the text too, so the text reads as the sign shows.
        if (c.character == '\n' && (c.attribute & kClassMask) == kClassText) line("");
    }

    /// Writes the item at cell i (before `end`) and returns the number of cells it took.
    int writeItem(int i, int end) {
        const Cell c = m_record.cell(i);
        const bool hasNext = i + 1 < end;
        const Cell next = hasNext ? m_record.cell(i + 1) : Cell{};
        if (m_afterLead) {
            // The parameter of a lead cell that no named item describes.
            m_afterLead = false;
            rawCell(c);
            return 1;
        }
        const std::uint8_t font = c.attribute & kFontMask;
        switch (c.attribute & kClassMask) {
        case kClassText:
            if (font == kFontGraphicSymbols && c.character >= 1 &&
                c.character <= kMaxGraphicColumn) {
                put("{gfx " + std::to_string(c.character) + "}");
                return 1;
            }
            if (font == kFontSymbols && c.character != 0) {
                std::array<Cell, 2> cells;
                const int count = SymbolCells(c.character, cells);
                if (count == 1) {
                    put("{symbol " + hexByte(c.character) + "}");
                    return 1;
                }
                if (hasNext && c == cells[0] && next == cells[1]) {
                    put("{symbol " + hexByte(c.character) + "}");
                    return 2;
                }
                break; // half of a two-cell symbol alone
            }
            if (font == kFontGraphicSymbols || font == kFontSymbols || c.character == 0) break;
            if (const auto ch = plainCharacter(c.character, m_codec)) {
                // A line may not open with "[": it would read as a section of a set.
                if (m_atLineStart && *ch == '[') break;
                setFont(font);
                std::string s;
                appendUtf8(s, *ch);
                if (*ch == '{' || *ch == '}') s += s;
                put(s);
                return 1;
            }
            break;
        case kClassTime:
        case kClassDate:
        case kClassTemperature: {
            static constexpr std::pair<std::uint8_t, const char*> kFields[] = {
                {kMarkTime, "{time}"}, {kMarkDate, "{date}"}, {kMarkTemperature, "{temperature}"}};
            const auto& field = kFields[((c.attribute & kClassMask) >> 4) - 1];
            if (font == 0 || c.character != field.first) break;
            setFont(font);
            put(field.second);
            return 1;
        }
        case kClassFormat:
            if (c.attribute != kAttrFormat) break;
            if (c.character == kFormatNormal) {
                put("{normal}");
                return 1;
            }
            if (c.character == kFormatInverse) {
                put("{inverse}");
                return 1;
            }
            break;
        case kClassLead:
            if (c.attribute != kAttrLead) break;
            if (hasNext && next.character == kParameterMark) {
                if (c.character == kLeadPause) {
                    put(next.attribute == kDefaultPause
                            ? std::string("{pause}")
                            : "{pause " + std::to_string(next.attribute) + "}");
                    return 2;
                }
                if (c.character == kLeadEffect && next.attribute >= 1 &&
                    next.attribute <= kEffectCodeCount) {
                    put("{effect " + std::to_string(next.attribute) + "}");
                    return 2;
                }
            }
            rawCell(c);
            m_afterLead = true;
            return 1;
        default:
            break;
        }
        rawCell(c);
        return 1;
    }

    /// Bytes after the message that are not 0, and a kind byte outside 0..2, as one item.
    void writeTail(int end) {
        const std::size_t limit =
            m_record.kind() <= std::uint8_t(MessageKind::Lower) ? kKindOffset : kRecordSize;
        std::size_t first = std::size_t(end) * 2;
        while (first < limit && m_record.bytes[first] == 0) ++first;
        if (first == limit) return;
        std::size_t last = limit;
        while (m_record.bytes[last - 1] == 0) --last;
        std::string s = "{tail " + std::to_string(first) + ":";
        for (std::size_t at = first; at < last; ++at) {
            s += (at - first) % kTailBytesPerLine == 0 && at != first ? '\n' : ' ';
            appendHex(s, m_record.bytes[at]);
        }
        line(s + "}");
    }

    const MessageRecord& m_record;
    const CharacterCodec& m_codec;
    std::string m_out;
    std::uint8_t m_font = kFontDefault;
    bool m_atLineStart = true;
    bool m_afterLead = false;
};

} // namespace

std::string MessageToText(const MessageRecord& record, const CharacterCodec& codec) {
    return Writer(record, codec).run();
}

std::string MessageSetToText(const MessageSetRecords& records, const CharacterCodec& codec) {
    std::string out;
    for (int n = 1; n <= kMessageSetCount; ++n) {
        if (n > 1) out += '\n';
        out += std::string(kSectionOpen) + " " + std::to_string(n) + "]\n";
        out += MessageToText(records[std::size_t(n - 1)], codec);
    }
    return out;
}

} // namespace pixbar
