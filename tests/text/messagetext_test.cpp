#include "codepage1250.h"
#include "editorfixture.h"
#include "messagetext.h"

#include <gtest/gtest.h>

#include <QString>

#include <random>
#include <string>
#include <vector>

using namespace pixbar;

namespace {

const CharacterCodec& cp1250() {
    return CodePage1250::instance();
}

MessageRecord compose(const std::string& text) {
    MessageRecord r;
    const auto error = ComposeMessage(text, cp1250(), r);
    EXPECT_FALSE(error) << text << " -> " << (error ? error->where() : "");
    return r;
}

std::string decode(const MessageRecord& r) {
    return MessageToText(r, cp1250());
}

MessageRecord recordOf(const std::vector<Cell>& cells, std::uint8_t kind = 0) {
    MessageRecord r;
    for (std::size_t i = 0; i < cells.size(); ++i) r.setCell(int(i), cells[i]);
    r.bytes[kKindOffset] = kind;
    return r;
}

/// Decode then compose gives the same bytes; so compose, decode, compose is stable too.
void expectRoundTrip(const MessageRecord& r) {
    const std::string text = decode(r);
    MessageRecord back;
    const auto error = ComposeMessage(text, cp1250(), back);
    ASSERT_FALSE(error) << error->where() << "\n" << text;
    ASSERT_EQ(back, r) << text;
}

} // namespace

TEST(MessageText, TheRecordFormatExampleBothWays) {
    const std::string text = "{effect 1}{inverse}{font 2}AB{time}";
    const MessageRecord r = compose(text);
    const std::vector<std::uint8_t> head{0xF0, 0x10, 0x01, 0x01, 0x50, 0x81,
                                         0x02, 0x41, 0x02, 0x42, 0x12, 0xFF};
    EXPECT_TRUE(std::equal(head.begin(), head.end(), r.bytes.begin()));
    EXPECT_TRUE(std::all_of(r.bytes.begin() + 12, r.bytes.end(), [](auto b) { return b == 0; }));
    EXPECT_EQ(decode(r), text + "\n");
}

TEST(MessageText, HundredThousandRandomRecordsComeBackByteForByte) {
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> byte(0, 255);
    MessageRecord r;
    for (int n = 0; n < 100'000; ++n) {
        for (auto& b : r.bytes) b = std::uint8_t(byte(random));
        expectRoundTrip(r);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

TEST(MessageText, RandomRecordsOfMeaningfulCellsComeBack) {
    // Uniform bytes rarely make a named item; these records are made of little else.
    std::mt19937 random(7);
    const std::vector<Cell> palette{
        {0x03, 'a'},  {0x02, 0xB9}, {0x0E, '{'},  {0x01, '}'},  {0x03, '['},  {0x0C, '\n'},
        {0x0D, 5},    {0x0D, 255},  {0x0F, 0x41}, {0x0F, 0x80}, {0x0F, 0x81}, {0x0F, 0x83},
        {0x12, 0xFF}, {0x2A, 0xFE}, {0x31, 0xFA}, {0x10, 0xFF}, {0x50, 0x80}, {0x50, 0x81},
        {0x50, 0x82}, {0xF0, 0x01}, {0xF0, 0x10}, {0x02, 0x01}, {0x0C, 0x01}, {0x0D, 0x01},
        {0xF0, 0x02}, {0x00, 0x41}, {0x07, 0x81}, {0x04, 0x98}, {0x05, ' '}};
    std::uniform_int_distribution<std::size_t> pick(0, palette.size() - 1);
    std::uniform_int_distribution<int> length(0, kCellCount), byte(0, 255), kind(0, 3);
    for (int n = 0; n < 20'000; ++n) {
        MessageRecord r;
        const int cells = length(random);
        for (int i = 0; i < cells; ++i) r.setCell(i, palette[pick(random)]);
        if (n % 3 == 0) r.bytes[kSentinelOffset + std::size_t(byte(random)) % 23] = 0x5A;
        r.bytes[kKindOffset] = std::uint8_t(kind(random) == 3 ? byte(random) : kind(random));
        expectRoundTrip(r);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

class EditorMadeText : public test::EditorTest {
protected:
    /// Types UTF-8 text as the keyboard does: one code page 1250 byte a key.
    void typeText(const char* utf8) {
        for (const QChar c : QString::fromUtf8(utf8))
            editor.keyPress(*cp1250().encode(c.unicode()));
    }
};

TEST_F(EditorMadeText, RecordsOfTheEditorsCommandsReadAsNamedItems) {
    editor.insertItem({kAttrLead, kLeadEffect}, {std::uint8_t(EffectCode::SlideFromBottom), 1});
    editor.setFont(7);
    typeText("Zażółć {x}");
    editor.insertTime();
    editor.insertItem({kAttrLead, kLeadPause}, {kDefaultPause, kParameterMark});
    editor.insertCell(kAttrFormat, kFormatInverse);
    editor.setFont(1);
    editor.insertDate();
    editor.insertTemperature();
    std::array<Cell, 2> pair;
    for (int i = 0, n = SymbolCells(0x81, pair); i < n; ++i)
        editor.insertCell(pair[std::size_t(i)].attribute, pair[std::size_t(i)].character);
    editor.insertCell(kFontGraphicSymbols, 5);
    editor.insertCell(kFontGraphicSymbols, 6);
    editor.setMessageKind(2);
    const MessageRecord& made = editor.record();
    const std::string text = decode(made);
    EXPECT_EQ(text, "{kind lower}\n{effect 3}{font 7}Zażółć {{x}}{time}{pause}{inverse}"
                    "{font 1}{date}{temperature}{symbol 0x80}{gfx 5}{gfx 6}\n");
    EXPECT_EQ(compose(text), made);
}

TEST_F(EditorMadeText, FullAndEditedMessagesComeBack) {
    for (int i = 0; i < 520; ++i) editor.keyPress(std::uint8_t('A' + i % 26));
    expectRoundTrip(editor.record());
    grid.put(100);
    editor.insertItem({kAttrLead, kLeadEffect}, {std::uint8_t(EffectCode::Typewriter), 1});
    grid.put(498);
    editor.insertItem({kAttrLead, kLeadPause}, {9, kParameterMark});
    for (int i = 0; i < 30; ++i) editor.deleteAt(40);
    editor.keyPress(0xB9);
    editor.keyPress(13);
    editor.keyPress(10);
    expectRoundTrip(editor.record());
    editor.clear();
    expectRoundTrip(editor.record());
}

namespace {

struct ItemCase {
    std::string text;
    std::vector<Cell> cells;
    std::uint8_t kind = 0;
    std::vector<std::pair<std::size_t, std::uint8_t>> bytes{}; ///< after the cells
    bool canonical = false; ///< decoding the record gives this very text
};

const ItemCase kItemCases[] = {
    {"AB", {{3, 'A'}, {3, 'B'}}, 0, {}, true},
    {"{font 1}a{font 15}b", {{1, 'a'}, {15, 'b'}}},
    {"{font 12}ąŹ€", {{0x0C, 0xB9}, {0x0C, 0x8F}, {0x0C, 0x80}}, 0, {}, true},
    {"{font 0x0C}a", {{0x0C, 'a'}}},
    {"{cell 0x03 0x81}{cell 0x03 0x09}{cell 0x03 0x7F}",
     {{3, 0x81}, {3, 9}, {3, 0x7F}},
     0,
     {},
     true},
    {"{font 14}x\t", {{0x0E, 'x'}, {0x0E, 9}}},
    {"{normal}{inverse}", {{0x50, 0x80}, {0x50, 0x81}}, 0, {}, true},
    {"{pause}{pause 9}", {{0xF0, 1}, {2, 1}, {0xF0, 1}, {9, 1}}, 0, {}, true},
    {"{effect 12}{effect 1}", {{0xF0, 0x10}, {12, 1}, {0xF0, 0x10}, {1, 1}}, 0, {}, true},
    {"{effect najazd z dolu}{Effect  Maszyna do\npisania}",
     {{0xF0, 0x10}, {3, 1}, {0xF0, 0x10}, {12, 1}}},
    {"{font 9}{time}{date}{temperature}", {{0x19, 0xFF}, {0x29, 0xFE}, {0x39, 0xFA}}, 0, {}, true},
    {"{time}{font 2}{date}", {{0x13, 0xFF}, {0x22, 0xFE}}, 0, {}, true},
    {"{symbol 0x41}{symbol 0x81}{symbol 130}",
     {{0x0F, 0x41}, {0x0F, 0x80}, {0x0F, 0x81}, {0x0F, 0x82}, {0x0F, 0x83}}},
    {"{gfx 5}{gfx 254}", {{0x0D, 5}, {0x0D, 254}}, 0, {}, true},
    {"{cell 0xF0 0x10}{cell 0x0D 0x01}", {{0xF0, 0x10}, {0x0D, 0x01}}, 0, {}, true},
    {"{cell 0x0F 0x81}{cell 0x50 0x82}{cell 0x10 0xFF}",
     {{0x0F, 0x81}, {0x50, 0x82}, {0x10, 0xFF}},
     0,
     {},
     true},
    {"{{x}}", {{3, '{'}, {3, 'x'}, {3, '}'}}, 0, {}, true},
    {"A\nB\r\nC", {{3, 'A'}, {3, 'B'}, {3, 'C'}}},
    {"{cell 0x03 0x0D}{cell 0x03 0x0A}\nX", {{3, 0x0D}, {3, 0x0A}, {3, 'X'}}, 0, {}, true},
    {"{cell 0x03 0x5B}x[", {{3, '['}, {3, 'x'}, {3, '['}}, 0, {}, true},
    {"{kind upper}\nA", {{3, 'A'}}, 1, {}, true},
    {"{kind lower}", {}, 2, {}, true},
    {"{kind single}\nA", {{3, 'A'}}},
    {"A\n{tail 1001: 41}", {{3, 'A'}}, 0, {{1001, 0x41}}, true},
    {"{tail 1001:0102 03\n04}", {}, 0, {{1001, 1}, {1002, 2}, {1003, 3}, {1004, 4}}},
    {"{tail 1023: 07}", {}, 7, {}, true},
    {"{tail 0x3FF: FF}", {}, 0xFF},
    {"{cell 0x00 0x41}B", {{0, 0x41}, {3, 'B'}}},
};

} // namespace

TEST(MessageText, ItemsKindsAndTailAgainstCellByCellRecords) {
    for (const ItemCase& c : kItemCases) {
        MessageRecord expected = recordOf(c.cells, c.kind);
        for (const auto& [at, value] : c.bytes) expected.bytes[at] = value;
        EXPECT_EQ(compose(c.text), expected) << c.text;
        if (c.canonical) {
            EXPECT_EQ(decode(expected), c.text + "\n") << c.text;
        }
        expectRoundTrip(expected);
    }
}

TEST(MessageText, SetSectionsInAnyOrderAndMissingOnesEmpty) {
    const std::string text = "[message 3]\n{kind upper}\nA\n\n[Message 1] \nB{pause}\n";
    MessageSetRecords records;
    records.fill(recordOf({{1, 1}}));
    ASSERT_FALSE(ComposeMessageSet(text, cp1250(), records));
    MessageSetRecords expected{};
    expected[0] = recordOf({{3, 'B'}, {0xF0, 1}, {2, 1}});
    expected[2] = recordOf({{3, 'A'}}, 1);
    EXPECT_EQ(records, expected);

    const std::string written = MessageSetToText(expected, cp1250());
    EXPECT_EQ(written.substr(0, 44), "[message 1]\nB{pause}\n\n[message 2]\n\n[message ");
    ComposedText back;
    ASSERT_FALSE(ComposeMessageText(written, cp1250(), back));
    EXPECT_TRUE(back.isSet);
    EXPECT_EQ(back.records, expected);

    std::mt19937 random(3);
    std::uniform_int_distribution<int> byte(0, 255);
    for (auto& r : expected)
        for (auto& b : r.bytes) b = std::uint8_t(byte(random));
    ASSERT_FALSE(ComposeMessageSet(MessageSetToText(expected, cp1250()), cp1250(), records));
    EXPECT_EQ(records, expected);
}

TEST(MessageText, ABlankTextIsASetOfEightEmptyMessages) {
    MessageRecord empty;
    ASSERT_FALSE(ComposeMessage("", cp1250(), empty));
    MessageSetRecords allEmpty;
    allEmpty.fill(empty);
    // Written by the set's own text form, the empty set is blank sections only.
    MessageSetRecords back;
    ASSERT_FALSE(ComposeMessageSet(MessageSetToText(allEmpty, cp1250()), cp1250(), back));
    ASSERT_EQ(back, allEmpty);

    for (const std::string blank : {"", " ", "\n", "\n\n\n", "\t \r\n  \n", "\xEF\xBB\xBF",
                                    "\xEF\xBB\xBF  \r\n\t"}) {
        MessageSetRecords records;
        records.fill(recordOf({{3, 'X'}}));
        ASSERT_FALSE(ComposeMessageSet(blank, cp1250(), records)) << "\"" << blank << "\"";
        EXPECT_EQ(records, allEmpty) << "\"" << blank << "\"";
        // Read as one message unless a set is asked for (where spaces and tabs are cells).
        EXPECT_FALSE(IsMessageSetText(blank));
    }
    // Anything but blanks before the first section is still refused.
    MessageSetRecords records{};
    for (const std::string text : {"x", "\n {font 2}", "\xEF\xBB\xBF."})
        EXPECT_TRUE(ComposeMessageSet(text, cp1250(), records)) << text;
}

TEST(MessageText, ErrorsNameLineAndColumn) {
    const std::string full(kCellCount, 'A');
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"AB\n\nxx {efect 3}", "3:4: unknown item {efect 3}"},
        {"{font x}", "1:7: bad number \"x\" in {font x}"},
        {"\n{font 16}", "2:7: font out of range in {font 16} (1..15)"},
        {"{font 0}", "1:7: font out of range in {font 0} (1..15)"},
        {"ab✓", "1:3: the character \"✓\" (U+2713) is not in code page 1250"},
        {full + "B", "1:501: too long a message: \"B\" does not fit in cells 0..499"},
        {full.substr(1) + "{pause}",
         "1:500: too long a message: {pause} does not fit in cells 0..499"},
        {full.substr(1) + "{symbol 0x80}",
         "1:500: too long a message: {symbol 0x80} does not fit in cells 0..499"},
        {full + "{cell 1 1}", "1:501: too long a message: {cell 1 1} does not fit in cells 0..499"},
        {"{effect 13}", "1:9: effect out of range in {effect 13} (1..12)"},
        {"{effect najazd z dołu}", "1:9: unknown effect in {effect najazd z dołu} (1..12 or a name "
                                   "such as \"najazd z dolu\")"},
        {"{pause 0}", "1:8: pause out of range in {pause 0} (1..255)"},
        {"{gfx 255}", "1:6: column out of range in {gfx 255} (1..254)"},
        {"{cell 0x100 1}", "1:7: cell byte out of range in {cell 0x100 1} (0..255)"},
        {"{cell 1}", "1:1: missing number in {cell 1}"},
        {"{time 3}", "1:7: too many values in {time 3}"},
        {"ab{font 3", "1:3: unclosed item {font 3"},
        {"{font 3 {time}", "1:1: unclosed item {font 3"},
        {"A\n {effect najazd z dolu\nDzisiaj: truskawki 12,50 zł{pause}\n",
         "2:2: unclosed item {effect najazd z dolu Dzisiaj: truskawki..."},
        {"a}b", "1:2: a lone } (write }} for a brace)"},
        {"{ }", "1:1: empty item {}"},
        {"A{kind upper}", "1:2: {kind} goes on the first line, before the message"},
        {"{kind top}", "1:7: unknown kind in {kind top} (single, upper or lower)"},
        {"{cell 0xF0 0x10}{effect 2}",
         "1:17: {effect 2} would stand in the parameter cell of the lead {cell 0xF0 ...} before "
         "it: write that cell as {cell}"},
        {"AB{tail 2: 41}",
         "1:9: the tail starts at byte 2, inside the message (its cells end at byte 4)"},
        {"{tail 1020: 01 02 03 04 05}", "1:1: the tail runs past byte 1023"},
        {"{tail 1000: 0G}", "1:13: bad byte \"0G\" in the tail (two hexadecimal digits each)"},
        {"{tail 1000:410}", "1:14: bad byte \"0\" in the tail (two hexadecimal digits each)"},
        {"{tail 1000 :4x}", "1:13: bad byte \"4x\" in the tail (two hexadecimal digits each)"},
        {"{tail 1000: 41}\nA", "2:1: {tail} comes last: nothing may follow it"},
        {"{tail 41}", "1:1: the tail needs the offset of its first byte: {tail 1000: 00 41}"},
        {"{kind upper}\n{tail 1023: 05}",
         "1:1: {tail} sets byte 1023, the kind byte: leave out {kind}"},
        {"a\xFF"
         "b",
         "1:2: not UTF-8 text"},
        {"\n[message 1]\nA",
         "2:1: this text is a message set ([message N] sections), not one message"},
    };
    for (const auto& c : cases) {
        MessageRecord r = recordOf({{1, 1}});
        const MessageRecord before = r;
        const auto error = ComposeMessage(c.text, cp1250(), r);
        ASSERT_TRUE(error) << c.text;
        EXPECT_EQ(error->where(), c.error);
        EXPECT_EQ(r, before);
    }

    const struct {
        std::string text;
        std::string error;
    } setCases[] = {
        {"hello\n[message 1]", "1:1: text before the first [message N]"},
        {"[message 9]", "1:10: message number out of range in [message 9] (1..8)"},
        {"[message x]", "1:10: bad number \"x\" in [message x]"},
        {"[message 1]\n[message 1]", "2:1: [message 1] appears twice"},
        {"[message 2]\nok\n[message 3]\n {efect}", "4:2: unknown item {efect}"},
        {" \n\t\n  x\n[message 1]", "3:3: text before the first [message N]"},
    };
    for (const auto& c : setCases) {
        MessageSetRecords records{};
        const auto error = ComposeMessageSet(c.text, cp1250(), records);
        ASSERT_TRUE(error) << c.text;
        EXPECT_EQ(error->where(), c.error);
    }
}

TEST(CodePage1250, PolishLettersAndCharactersOutsideIt) {
    const CodePage1250& cp = CodePage1250::instance();
    EXPECT_EQ(cp.encode(U'ą'), 0xB9);
    EXPECT_EQ(cp.encode(U'Ź'), 0x8F);
    EXPECT_EQ(cp.encode(U'€'), 0x80);
    EXPECT_EQ(cp.encode(U'A'), 0x41);
    EXPECT_FALSE(cp.encode(U'✓'));
    EXPECT_FALSE(cp.encode(U'ä' + 1)); // å is not in the code page
    EXPECT_EQ(cp.decode(0xB3), U'ł');
}
