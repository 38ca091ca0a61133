// Checks the font files, the symbol table and its map and the sample user font that the
// build writes beside the executables.

#include "datafile.h"
#include "glyphs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using datatest::Bytes;
using datatest::kDataDir;
using datatest::readFile;

/// One text face: its file, glyph size and where its glyphs start (after a header or not).
struct TextFace {
    const char* file;
    int width;
    int height;
    std::size_t offset;
};

constexpr std::array<TextFace, 13> kTextFaces{{
    {"font5x7_128.fnt", 5, 7, 0},
    {"font8x8b_128.fnt", 8, 8, 0},
    {"font8x8atari_128.fnt", 8, 8, 0},
    {"font8x8baloon_128.fnt", 8, 8, 0},
    {"font8x8hohl_128.fnt", 8, 8, 0},
    {"font8x8rzbik_128.fnt", 8, 8, 0},
    {"font8x16bold_128.fnt", 8, 16, 0},
    {"font8x16rl.fnt", 8, 16, 0},
    {"font8x16lcd.fnt", 8, 16, 0},
    {"font8x16huge.fnt", 8, 16, 0},
    {"font8x16broadway.fnt", 8, 16, 0},
    {"font8x16computer.fnt", 8, 16, 0},
    {"przyklad.fnd", 6, 8, pixbar::kHeadedHeaderSize},
}};
constexpr std::size_t kBuiltInTextFaces = 12;

/// A glyph as rows of bits, bit 7 the leftmost pixel; rows past the data read as 0.
struct Glyph {
    std::vector<std::uint8_t> rows;

    bool blank() const {
        return std::all_of(rows.begin(), rows.end(), [](std::uint8_t r) { return r == 0; });
    }
    int top() const {
        for (std::size_t y = 0; y < rows.size(); ++y)
            if (rows[y]) return int(y);
        return -1;
    }
    int bottom() const {
        for (std::size_t y = rows.size(); y-- > 0;)
            if (rows[y]) return int(y);
        return -1;
    }
    bool operator==(const Glyph&) const = default;
};

Glyph glyphOf(const Bytes& file, const TextFace& face, int code) {
    Glyph g;
    for (int y = 0; y < face.height; ++y) {
        const std::size_t at = face.offset + std::size_t(code) * face.height + y;
        g.rows.push_back(at < file.size() ? file[at] : 0);
    }
    return g;
}

std::string nameOf(const TextFace& f) {
    return f.file;
}

class TextFaceTest : public ::testing::TestWithParam<TextFace> {
protected:
    void SetUp() override { m_file = readFile(GetParam().file); }
    Glyph glyph(int code) const { return glyphOf(m_file, GetParam(), code); }
    Bytes m_file;
};

TEST_P(TextFaceTest, HoldsWholeGlyphsForEveryAsciiCode) {
    const TextFace& f = GetParam();
    ASSERT_GT(m_file.size(), f.offset) << f.file << " is missing or empty";
    const std::size_t glyphBytes = m_file.size() - f.offset;
    EXPECT_EQ(glyphBytes % std::size_t(f.height), 0u);
    EXPECT_GE(glyphBytes / std::size_t(f.height), 128u);
}

TEST_P(TextFaceTest, PrintableGlyphsAreDrawnWithinTheWidth) {
    const TextFace& f = GetParam();
    const std::uint8_t outside = std::uint8_t(0xFF >> f.width);
    EXPECT_TRUE(glyph(' ').blank());
    for (int c = 0x21; c < 0x7F; ++c) {
        const Glyph g = glyph(c);
        EXPECT_FALSE(g.blank()) << "code 0x" << std::hex << c;
        for (std::uint8_t r : g.rows)
            EXPECT_EQ(r & outside, 0) << "code 0x" << std::hex << c << " is wider than " << f.width;
    }
}

/// The Polish letters at glyph codes 1..18, each with its base letter and its mark.
enum class Mark { Above, Below, Stroke };
struct PolishLetter {
    int code;
    char base;
    Mark mark;
};
constexpr std::array<PolishLetter, 18> kPolish{{
    {1, 'a', Mark::Below},
    {2, 'c', Mark::Above},
    {3, 'e', Mark::Below},
    {4, 'l', Mark::Stroke},
    {5, 'n', Mark::Above},
    {6, 'o', Mark::Above},
    {7, 's', Mark::Above},
    {8, 'z', Mark::Above},
    {9, 'z', Mark::Above},
    {10, 'A', Mark::Below},
    {11, 'C', Mark::Above},
    {12, 'E', Mark::Below},
    {13, 'L', Mark::Stroke},
    {14, 'N', Mark::Above},
    {15, 'O', Mark::Above},
    {16, 'S', Mark::Above},
    {17, 'Z', Mark::Above},
    {18, 'Z', Mark::Above},
}};

TEST_P(TextFaceTest, PolishLettersCarryTheirMarks) {
    for (const PolishLetter& p : kPolish) {
        const Glyph letter = glyph(p.code);
        const Glyph base = glyph(p.base);
        SCOPED_TRACE("glyph " + std::to_string(p.code) + " over '" + std::string(1, p.base) + "'");
        ASSERT_FALSE(letter.blank());
        EXPECT_NE(letter, base);
        switch (p.mark) {
        case Mark::Above:
            // A kreska or kropka: the letter reaches higher, or its top row is the accent.
            EXPECT_TRUE(letter.top() < base.top() ||
                        (letter.top() == base.top() && letter.rows[std::size_t(letter.top())] !=
                                                           base.rows[std::size_t(base.top())]));
            break;
        case Mark::Below:
            // An ogonek: the letter reaches lower, or its bottom row is the hook.
            EXPECT_TRUE(
                letter.bottom() > base.bottom() ||
                (letter.bottom() == base.bottom() && letter.rows[std::size_t(letter.bottom())] !=
                                                         base.rows[std::size_t(base.bottom())]));
            break;
        case Mark::Stroke: {
            // The stroke crosses the stem: some row holds more lit pixels than in the base.
            bool crossed = false;
            for (std::size_t y = 0; y < letter.rows.size(); ++y)
                crossed = crossed ||
                          __builtin_popcount(letter.rows[y]) > __builtin_popcount(base.rows[y]);
            EXPECT_TRUE(crossed);
            break;
        }
        }
    }
}

TEST_P(TextFaceTest, SmallAndCapitalPolishLettersKeepTheirOwnGlyphs) {
    // Each of the nine letters differs from the other Polish letters of the same case.
    for (int a = 1; a <= 18; ++a) {
        for (int b = a + 1; b <= 18; ++b) {
            if ((a <= 9) == (b <= 9)) {
                EXPECT_NE(glyph(a), glyph(b)) << a << " and " << b;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faces, TextFaceTest, ::testing::ValuesIn(kTextFaces), [](const auto& info) {
        std::string n = nameOf(info.param);
        std::replace_if(
            n.begin(), n.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); },
            '_');
        return n;
    });

TEST(BuiltInFaces, AreClearlyDistinctFromEachOther) {
    // Glyphs are compared as pictures; at least three in four printable glyphs must differ.
    std::vector<std::vector<Glyph>> faces;
    for (std::size_t i = 0; i < kBuiltInTextFaces; ++i) {
        const Bytes file = readFile(kTextFaces[i].file);
        std::vector<Glyph> glyphs;
        for (int c = 0x21; c < 0x7F; ++c) {
            Glyph g = glyphOf(file, kTextFaces[i], c);
            g.rows.resize(16, 0);
            glyphs.push_back(g);
        }
        faces.push_back(glyphs);
    }
    for (std::size_t a = 0; a < faces.size(); ++a) {
        for (std::size_t b = a + 1; b < faces.size(); ++b) {
            int differ = 0;
            for (std::size_t c = 0; c < faces[a].size(); ++c) differ += faces[a][c] != faces[b][c];
            EXPECT_GE(differ * 4, int(faces[a].size()) * 3)
                << kTextFaces[a].file << " and " << kTextFaces[b].file << " share too many glyphs";
        }
    }
}

TEST(BuiltInFaces, FileSizesMatchTheGlyphTable) {
    // Every font file named in the table of built-in fonts: whole glyphs of its height.
    for (const pixbar::BuiltInFont& f : pixbar::kBuiltInFonts) {
        const Bytes file = readFile(f.file);
        SCOPED_TRACE(f.file);
        ASSERT_FALSE(file.empty());
        EXPECT_EQ(file.size() % f.height, 0u);
        EXPECT_GE(file.size() / f.height, 128u);
    }
}

} // namespace
