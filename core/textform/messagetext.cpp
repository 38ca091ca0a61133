#include "messagetext.h"

#include "ledmessagecon.h"
#include "messagetextsyntax.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <span>
#include <vector>

namespace pixbar {

namespace {

using namespace textform;
using namespace std::string_view_literals;

constexpr int kLastCell = kCellCount - 1;
constexpr std::size_t kShownLimit = 40; ///< of an unclosed item in its message
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

/// Decodes the character at `at`; its byte length goes to `length`. Nothing for bytes that are
/// not well-formed UTF-8 (overlong forms and surrogates included).
std::optional<char32_t> decodeUtf8(std::string_view s, std::size_t at, std::size_t& length) {
    const auto byte = [&](std::size_t i) { return std::uint8_t(s[i]); };
    const std::uint8_t b0 = byte(at);
    if (b0 < 0x80) {
        length = 1;
        return b0;
    }
    std::size_t n = 0;
    char32_t c = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        n = 2, c = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        n = 3, c = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        n = 4, c = b0 & 0x07, min = 0x10000;
    } else {
        return std::nullopt;
    }
    if (at + n > s.size()) return std::nullopt;
    for (std::size_t i = 1; i < n; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (byte(at + i) & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    length = n;
    return c;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

struct Place {
    int line = 1;
    int column = 1;
};

/// A word inside an item, with the place of its first character.
struct Word {
    std::string_view text;
    Place place;
    std::size_t begin = 0; ///< offset in the text
};

struct Failure {
    Place place;
    std::string message;
};

std::optional<long> parseNumber(std::string_view s) {
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    long v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
    if (s.empty() || ec != std::errc{} || end != s.data() + s.size() || v < 0) return std::nullopt;
    return v;
}

/// Reads the text of one record: its cells, kind and tail.
class Composer {
public:
    Composer(std::string_view text, Place start, const CharacterCodec& codec)
        : m_text(text), m_place(start), m_codec(codec) {}

    /// Throws Failure.
    MessageRecord run() {
        if (m_text.starts_with(kByteOrderMark)) m_at = 3;
        while (m_at < m_text.size()) step();
        if (m_tailReachesKind && m_kind)
            throw Failure{m_kindPlace, "{tail} sets byte 1023, the kind byte: leave out {kind}"};
        if (!m_tailReachesKind) m_record.setKind(m_kind.value_or(0));
        return m_record;
    }

private:
    /// The character at the reading position, moved past.
    char32_t next() {
        std::size_t length = 0;
        const auto c = decodeUtf8(m_text, m_at, length);
        if (!c) throw Failure{m_place, "not UTF-8 text"};
        m_at += length;
        if (*c == '\n') {
            ++m_place.line;
            m_place.column = 1;
        } else if (*c != '\r') {
            ++m_place.column;
        }
        return *c;
    }
    bool nextIs(char c) const { return m_at < m_text.size() && m_text[m_at] == c; }

    void step() {
        const Place place = m_place;
        const char32_t c = next();
        if (c == '\n' || c == '\r') return; // line breaks are not cells
        if (m_tailDone) {
            if (c == ' ' || c == '\t') return;
            throw Failure{place, "{tail} comes last: nothing may follow it"};
        }
        if (c == '{' && !nextIs('{')) return item(place);
        if (c == '}' && !nextIs('}')) throw Failure{place, "a lone } (write }} for a brace)"};
        if (c == '{' || c == '}') next();
        text(c, place);
    }

    void text(char32_t c, Place place) {
        const auto byte = m_codec.encode(c);
        m_character = c;
        if (!byte) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", unsigned(c));
            throw Failure{place,
                          "the character " + what() + " (" + code + ") is not in code page 1250"};
        }
        if (*byte == 0) throw Failure{place, "the character U+0000 cannot be a text cell"};
        const Cell cell{m_font, *byte};
        named({&cell, 1}, place);
    }

    /// The character or item being read, as the user wrote it, for messages.
    std::string what() const {
        if (m_character == 0) return shown();
        std::string s = "\"";
        appendUtf8(s, m_character);
        return s + "\"";
    }
    /// The item being read with its words, as in "{effect 3}".
    std::string shown() const {
        std::string s = "{";
        for (const Word& w : m_words) {
            if (s.size() > 1) s += ' ';
            s += w.text;
        }
        return s + "}";
    }

    /// Cells of a named item: they follow the editor's rules.
    void named(std::span<const Cell> cells, Place place) {
        if (m_openLead)
            throw Failure{place, what() + " would stand in the parameter cell of the lead "
                                          "{cell 0xF0 ...} before it: write that cell as {cell}"};
        if (m_count + int(cells.size()) > kCellCount)
            throw Failure{place, "too long a message: " + what() + " does not fit in cells 0.." +
                                     std::to_string(kLastCell)};
        for (const Cell& c : cells) m_record.setCell(m_count++, c);
        m_content = true;
    }

    /// A cell taken exactly as written.
    void raw(Cell cell, Place place) {
        if (m_count >= kCellCount)
            throw Failure{place, "too long a message: " + what() + " does not fit in cells 0.." +
                                     std::to_string(kLastCell)};
        m_record.setCell(m_count++, cell);
        m_openLead = !m_openLead && cell.attribute == kAttrLead;
        m_content = true;
    }

    /// Splits the text from the reading position up to `stop` into words, moving past it.
    void readWords(std::size_t stop) {
        m_words.clear();
        bool inWord = false;
        const auto endWord = [&] {
            if (inWord) {
                Word& w = m_words.back();
                w.text = m_text.substr(w.begin, m_at - w.begin);
            }
            inWord = false;
        };
        while (m_at < stop) {
            const char b = m_text[m_at];
            if (isBlank(b)) {
                endWord();
                next();
                continue;
            }
            if (!inWord) m_words.push_back({{}, m_place, m_at});
            inWord = true;
            if (std::uint8_t(b) < 0x80) {
                ++m_at;
                ++m_place.column;
            } else {
                next(); // a whole character, checked
            }
        }
        endWord();
    }

    void item(Place start) {
        m_character = 0;
        // An opening brace before the closing one means this item was not closed.
        std::size_t close = m_at;
        while (close < m_text.size() && m_text[close] != '{' && m_text[close] != '}') ++close;
        if (close == m_text.size() || m_text[close] == '{') {
            readWords(close);
            std::string opened = shown();
            opened.pop_back(); // it has no closing brace
            if (opened.size() > kShownLimit) {
                std::size_t cut = kShownLimit; // not inside a character
                while ((std::uint8_t(opened[cut]) & 0xC0) == 0x80) --cut;
                opened = opened.substr(0, cut) + "...";
            }
            throw Failure{start, "unclosed item " + opened};
        }
        readWords(close);
        next(); // the closing brace
        if (m_words.empty()) throw Failure{start, "empty item {}"};
        dispatch(lower(m_words[0].text), m_words, start);
    }

    long number(const std::vector<Word>& words, std::size_t i, long min, long max, const char* what,
                Place start) {
        if (i >= words.size()) throw Failure{start, std::string("missing number in ") + shown()};
        const auto n = parseNumber(words[i].text);
        if (!n)
            throw Failure{words[i].place,
                          "bad number \"" + std::string(words[i].text) + "\" in " + shown()};
        if (*n < min || *n > max)
            throw Failure{words[i].place, std::string(what) + " out of range in " + shown() + " (" +
                                              std::to_string(min) + ".." + std::to_string(max) +
                                              ")"};
        return *n;
    }
    void expectCount(const std::vector<Word>& words, std::size_t count, Place start) {
        if (words.size() > count)
            throw Failure{words[count].place, "too many values in " + shown()};
        if (words.size() < count) throw Failure{start, "missing number in " + shown()};
    }

    void dispatch(std::string_view name, const std::vector<Word>& words, Place start) {
        if (name == "tail"sv) return tail(words, start);
        if (name == "kind"sv) return kind(words, start);
        if (name == "font"sv) {
            expectCount(words, 2, start);
            m_font = std::uint8_t(number(words, 1, 1, kFontMask, "font", start));
            m_content = true;
            return;
        }
        if (name == "normal"sv || name == "inverse"sv) {
            expectCount(words, 1, start);
            const Cell cell{kAttrFormat, name == "normal"sv ? kFormatNormal : kFormatInverse};
            return named({&cell, 1}, start);
        }
        if (name == "time"sv || name == "date"sv || name == "temperature"sv) {
            expectCount(words, 1, start);
            const Cell cell =
                name == "time"sv ? Cell{std::uint8_t(m_font | kClassTime), kMarkTime}
                : name == "date"sv
                    ? Cell{std::uint8_t(m_font | kClassDate), kMarkDate}
                    : Cell{std::uint8_t(m_font | kClassTemperature), kMarkTemperature};
            return named({&cell, 1}, start);
        }
        if (name == "pause"sv) {
            if (words.size() > 2) throw Failure{words[2].place, "too many values in " + shown()};
            const std::uint8_t duration =
                words.size() == 1 ? kDefaultPause
                                  : std::uint8_t(number(words, 1, 1, kMaxPause, "pause", start));
            const Cell cells[] = {{kAttrLead, kLeadPause}, {duration, kParameterMark}};
            return named(cells, start);
        }
        if (name == "effect"sv) return effect(words, start);
        if (name == "symbol"sv) {
            expectCount(words, 2, start);
            std::array<Cell, 2> cells;
            const int count =
                SymbolCells(std::uint8_t(number(words, 1, 1, 0xFF, "symbol", start)), cells);
            return named(std::span(cells.data(), std::size_t(count)), start);
        }
        if (name == "gfx"sv) {
            expectCount(words, 2, start);
            const Cell cell{kFontGraphicSymbols,
                            std::uint8_t(number(words, 1, 1, kMaxGraphicColumn, "column", start))};
            return named({&cell, 1}, start);
        }
        if (name == "cell"sv) {
            expectCount(words, 3, start);
            const auto a = std::uint8_t(number(words, 1, 0, 0xFF, "cell byte", start));
            const auto c = std::uint8_t(number(words, 2, 0, 0xFF, "cell byte", start));
            return raw({a, c}, start);
        }
        throw Failure{start, "unknown item " + shown()};
    }

    void effect(const std::vector<Word>& words, Place start) {
        if (words.size() < 2) throw Failure{start, "missing number in " + shown()};
        long code = 0;
        const char first = words[1].text[0];
        if (words.size() == 2 && first >= '0' && first <= '9') {
            code = number(words, 1, 1, kEffectCodeCount, "effect", start);
        } else {
            std::string wanted;
            for (std::size_t i = 1; i < words.size(); ++i)
                wanted += (i > 1 ? " " : "") + lower(words[i].text);
            const auto found = std::find(kEffectNames.begin() + 1, kEffectNames.end(), wanted);
            if (found == kEffectNames.end())
                throw Failure{words[1].place, "unknown effect in " + shown() +
                                                  " (1..12 or a name such as \"najazd z dolu\")"};
            code = found - kEffectNames.begin();
        }
        const Cell cells[] = {{kAttrLead, kLeadEffect}, {std::uint8_t(code), kParameterMark}};
        named(cells, start);
    }

    void kind(const std::vector<Word>& words, Place start) {
        if (m_content || m_kind)
            throw Failure{start, "{kind} goes on the first line, before the message"};
        expectCount(words, 2, start);
        const auto found = std::find(kKindNames.begin(), kKindNames.end(), lower(words[1].text));
        if (found == kKindNames.end())
            throw Failure{words[1].place,
                          "unknown kind in " + shown() + " (single, upper or lower)"};
        m_kind = std::uint8_t(found - kKindNames.begin());
        m_kindPlace = start;
    }

    void tail(const std::vector<Word>& words, Place start) {
        // {tail OFFSET: HH HH ...}: the offset may carry its colon or stand before it.
        std::vector<Word> rest(words.begin() + 1, words.end());
        const char* form = "the tail needs the offset of its first byte: {tail 1000: 00 41}";
        if (rest.empty()) throw Failure{start, form};
        std::string_view offsetText = rest[0].text;
        const Place offsetPlace = rest[0].place;
        Word afterColon; // bytes written straight after the colon, in the same word
        if (const std::size_t colon = offsetText.find(':'); colon != std::string::npos) {
            afterColon = {offsetText.substr(colon + 1), offsetPlace};
            afterColon.place.column += int(colon) + 1;
            offsetText = offsetText.substr(0, colon);
            rest.erase(rest.begin());
        } else if (rest.size() >= 2 && rest[1].text.starts_with(':')) {
            afterColon = {rest[1].text.substr(1), rest[1].place};
            afterColon.place.column += 1;
            rest.erase(rest.begin(), rest.begin() + 2);
        } else {
            throw Failure{start, form};
        }
        const auto offset = parseNumber(offsetText);
        if (!offset)
            throw Failure{offsetPlace, "bad number \"" + std::string(offsetText) + "\" in {tail}"};
        if (!afterColon.text.empty()) rest.insert(rest.begin(), afterColon);
        std::vector<std::uint8_t> bytes;
        for (const Word& w : rest) {
            for (std::size_t i = 0; i < w.text.size(); i += 2) {
                const std::string_view pair = w.text.substr(i, 2);
                std::uint8_t b = 0;
                const auto [end, ec] =
                    std::from_chars(pair.data(), pair.data() + pair.size(), b, 16);
                if (pair.size() != 2 || ec != std::errc{} || end != pair.data() + 2) {
                    Place p = w.place;
                    p.column += int(i);
                    throw Failure{p, "bad byte \"" + std::string(pair) +
                                         "\" in the tail (two hexadecimal digits each)"};
                }
                bytes.push_back(b);
            }
        }
        const std::size_t used = std::size_t(m_count) * 2;
        if (std::size_t(*offset) < used)
            throw Failure{offsetPlace, "the tail starts at byte " + std::to_string(*offset) +
                                           ", inside the message (its cells end at byte " +
                                           std::to_string(used) + ")"};
        if (std::size_t(*offset) + bytes.size() > kRecordSize)
            throw Failure{start, "the tail runs past byte " + std::to_string(kRecordSize - 1)};
        std::copy(bytes.begin(), bytes.end(), m_record.bytes.begin() + *offset);
        m_tailReachesKind = std::size_t(*offset) + bytes.size() == kRecordSize;
        m_tailDone = true;
    }

    std::string_view m_text;
    std::size_t m_at = 0;
    Place m_place;
    const CharacterCodec& m_codec;
    MessageRecord m_record;
    int m_count = 0;
    std::uint8_t m_font = kFontDefault;
    bool m_openLead = false; ///< the last cell is a lead written by {cell}, awaiting its parameter
    bool m_content = false;  ///< an item or a character has been read
    bool m_tailDone = false;
    bool m_tailReachesKind = false;
    std::optional<std::uint8_t> m_kind;
    Place m_kindPlace;
    std::vector<Word> m_words; ///< of the item being read, kept to spare allocations
    char32_t m_character = 0;  ///< the character being read, 0 while reading an item
};

// --- sections -----------------------------------------------------------------------------

struct Line {
    std::string_view text; ///< without its line break
    std::size_t begin = 0;
    std::size_t next = 0; ///< offset of the following line
};

Line lineAt(std::string_view text, std::size_t at) {
    const std::size_t lf = text.find('\n', at);
    const std::size_t end = lf == std::string_view::npos ? text.size() : lf;
    return {text.substr(at, end - at), at, lf == std::string_view::npos ? text.size() : lf + 1};
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

/// "[message N]" alone on its line: the section's number text, or nothing for another line.
std::optional<std::string_view> sectionNumber(std::string_view line) {
    line = trim(line);
    if (line.size() < kSectionOpen.size() + 2 ||
        lower(line.substr(0, kSectionOpen.size())) != kSectionOpen || line.back() != ']' ||
        !isBlank(line[kSectionOpen.size()]))
        return std::nullopt;
    const std::string_view inner =
        trim(line.substr(kSectionOpen.size(), line.size() - kSectionOpen.size() - 1));
    if (inner.empty() || std::any_of(inner.begin(), inner.end(), isBlank)) return std::nullopt;
    return inner;
}

int columnOf(std::string_view line, std::string_view part) {
    int column = 1;
    for (std::size_t i = 0; i < std::size_t(part.data() - line.data()); ++i)
        if ((std::uint8_t(line[i]) & 0xC0) != 0x80) ++column;
    return column;
}

TextError toError(const Failure& f) {
    return {f.place.line, f.place.column, f.message};
}

} // namespace

std::string TextError::where() const {
    return std::to_string(line) + ":" + std::to_string(column) + ": " + message;
}

bool IsMessageSetText(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const Line l = lineAt(text, at);
        std::string_view t = trim(l.text);
        if (at == 0 && t.starts_with(kByteOrderMark)) t = trim(t.substr(3));
        if (!t.empty()) return sectionNumber(t).has_value();
        at = l.next;
    }
    return false;
}

std::optional<TextError> ComposeMessage(std::string_view text, const CharacterCodec& codec,
                                        MessageRecord& record) {
    if (IsMessageSetText(text)) {
        int line = 1;
        for (std::size_t at = 0; trim(lineAt(text, at).text).empty(); at = lineAt(text, at).next)
            ++line;
        return TextError{line, 1,
                         "this text is a message set ([message N] sections), not one message"};
    }
    try {
        record = Composer(text, {}, codec).run();
        return std::nullopt;
    } catch (const Failure& f) {
        return toError(f);
    }
}

std::optional<TextError> ComposeMessageSet(std::string_view text, const CharacterCodec& codec,
                                           MessageSetRecords& records) {
    try {
        if (text.starts_with(kByteOrderMark)) text.remove_prefix(3);
        struct Section {
            int number = 0;
            std::size_t begin = 0;
            std::size_t end = 0;
            int firstLine = 0;
        };
        std::vector<Section> sections;
        int line = 1;
        for (std::size_t at = 0; at < text.size(); ++line) {
            const Line l = lineAt(text, at);
            at = l.next;
            if (const auto number = sectionNumber(l.text)) {
                const Place place{line, columnOf(l.text, *number)};
                const std::string shown = "[message " + std::string(*number) + "]";
                const auto n = parseNumber(*number);
                if (!n)
                    throw Failure{place, "bad number \"" + std::string(*number) + "\" in " + shown};
                if (*n < 1 || *n > kMessageSetCount)
                    throw Failure{place, "message number out of range in " + shown + " (1..8)"};
                for (const Section& s : sections)
                    if (s.number == *n) throw Failure{{line, 1}, shown + " appears twice"};
                if (!sections.empty()) sections.back().end = l.begin;
                sections.push_back({int(*n), l.next, text.size(), line + 1});
                continue;
            }
            if (sections.empty() && !trim(l.text).empty()) {
                const std::string_view t = trim(l.text);
                throw Failure{{line, columnOf(l.text, t)}, "text before the first [message N]"};
            }
        }
        // A blank text has no sections, and every section left out is an empty message.
        MessageSetRecords composed{};
        for (const Section& s : sections)
            composed[std::size_t(s.number - 1)] =
                Composer(text.substr(s.begin, s.end - s.begin), {s.firstLine, 1}, codec).run();
        records = composed;
        return std::nullopt;
    } catch (const Failure& f) {
        return toError(f);
    }
}

std::optional<TextError> ComposeMessageText(std::string_view text, const CharacterCodec& codec,
                                            ComposedText& composed) {
    if (IsMessageSetText(text)) {
        MessageSetRecords records{};
        if (auto error = ComposeMessageSet(text, codec, records)) return error;
        composed = {true, records};
        return std::nullopt;
    }
    MessageRecord record;
    if (auto error = ComposeMessage(text, codec, record)) return error;
    composed = {false, {}};
    composed.records[0] = record;
    return std::nullopt;
}

} // namespace pixbar
