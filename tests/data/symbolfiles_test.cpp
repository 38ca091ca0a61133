// Checks the symbol font with the editor icons, the graphic symbol table with its map, and
// that every data file loads through the glyph sets as the designer loads it.

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

bool blankGlyph(const Bytes& data, std::size_t offset, int height, int code) {
    for (int y = 0; y < height; ++y) {
        const std::size_t at = offset + std::size_t(code) * std::size_t(height) + std::size_t(y);
        if (at < data.size() && data[at] != 0) return false;
    }
    return true;
}

/// The glyphs the message editor draws as icons, by item.
struct Icon {
    const char* item;
    std::vector<int> glyphs;
};
const std::vector<Icon> kIcons = {
    {"format mark inverse", {1}}, {"format mark normal", {2}}, {"Scroller", {3, 4}},
    {"Tekst stojący", {5, 6}},    {"pause", {7, 8}},           {"Mrugaj inwersją", {9, 10}},
    {"Mrugaj ekranem", {11, 12}}, {"Najazd z góry", {13, 14}}, {"Najazd z dołu", {15, 16}},
    {"Piksele", {21, 22}},        {"Roleta z góry", {23, 24}}, {"Roleta z dołu", {25, 26}},
    {"Linie z góry", {27, 28}},   {"Linie z dołu", {29, 30}},  {"date field", {33}},
    {"temperature field", {34}},  {"time field", {35}},        {"Maszyna do pisania", {36, 37}},
};

TEST(SymbolFont, Holds256GlyphsOfEightRows) {
    EXPECT_EQ(readFile("font8x8symbol.fnt").size(), 256u * 8u);
}

TEST(SymbolFont, EveryEditorIconIsDrawn) {
    const Bytes font = readFile("font8x8symbol.fnt");
    for (const Icon& icon : kIcons) {
        for (int g : icon.glyphs) {
            EXPECT_FALSE(blankGlyph(font, 0, 8, g)) << icon.item << " " << g;
        }
    }
}

TEST(SymbolFont, IconsOfDifferentItemsDiffer) {
    const Bytes font = readFile("font8x8symbol.fnt");
    auto picture = [&](const Icon& icon) {
        Bytes p;
        for (int g : icon.glyphs) p.insert(p.end(), font.begin() + g * 8, font.begin() + g * 8 + 8);
        return p;
    };
    for (std::size_t a = 0; a < kIcons.size(); ++a) {
        for (std::size_t b = a + 1; b < kIcons.size(); ++b) {
            EXPECT_NE(picture(kIcons[a]), picture(kIcons[b]))
                << kIcons[a].item << " and " << kIcons[b].item;
        }
    }
}

TEST(SymbolFont, EveryIconGlyphIsItsOwnPicture) {
    // The lead cell alone tells its item: no two icon glyphs are the same.
    const Bytes font = readFile("font8x8symbol.fnt");
    std::vector<int> codes;
    for (const Icon& icon : kIcons) codes.insert(codes.end(), icon.glyphs.begin(), icon.glyphs.end());
    auto glyph = [&](int g) { return Bytes(font.begin() + g * 8, font.begin() + g * 8 + 8); };
    for (std::size_t a = 0; a < codes.size(); ++a)
        for (std::size_t b = a + 1; b < codes.size(); ++b)
            EXPECT_NE(glyph(codes[a]), glyph(codes[b])) << codes[a] << " and " << codes[b];
}

TEST(SymbolFont, UpperHalfHoldsSymbols) {
    const Bytes font = readFile("font8x8symbol.fnt");
    for (int c = 0x80; c < 0x100; ++c) {
        EXPECT_FALSE(blankGlyph(font, 0, 8, c)) << c;
    }
    // 0x80+0x81 and 0x82+0x83 are pictures two glyphs wide: they join at the shared edge.
    for (int first : {0x80, 0x82}) {
        bool joined = false;
        for (int y = 0; y < 8; ++y)
            joined = joined || ((font[std::size_t(first * 8 + y)] & 0x01) &&
                                (font[std::size_t((first + 1) * 8 + y)] & 0x80));
        EXPECT_TRUE(joined) << first;
    }
}

TEST(GraphicSymbols, HeaderAndSize) {
    const Bytes table = readFile("gfx_symbols.bin");
    ASSERT_EQ(table.size(), 4108u);
    // header length, three zeros, width 8, height 16, reserved 0, 256 glyphs (little-endian)
    const std::array<std::uint8_t, 12> header{12, 0, 0, 0, 8, 0, 16, 0, 0, 0, 0, 1};
    EXPECT_TRUE(std::equal(header.begin(), header.end(), table.begin()));
}

TEST(GraphicSymbols, MapAgreesWithTheTable) {
    const Bytes table = readFile("gfx_symbols.bin");
    const Bytes map = readFile("gfx_symbols_map.bin");
    ASSERT_EQ(map.size(), 256u);
    ASSERT_EQ(table.size(), 4108u);
    EXPECT_EQ(map[0], 0) << "column 0 is never used by a symbol";
    int symbols = 0;
    for (int c = 1; c < 256;) {
        const int n = map[std::size_t(c)];
        if (n == 0) {
            EXPECT_TRUE(blankGlyph(table, 12, 16, c)) << "free column " << c << " is drawn";
            ++c;
            continue;
        }
        ASSERT_NE(n, pixbar::kSymbolMapContinues) << "column " << c << " continues nothing";
        ASSERT_LE(c + n, 256) << "symbol at " << c << " runs past the table";
        ++symbols;
        bool drawn = false;
        for (int k = 0; k < n; ++k) {
            drawn = drawn || !blankGlyph(table, 12, 16, c + k);
            if (k > 0) {
                EXPECT_EQ(map[std::size_t(c + k)], pixbar::kSymbolMapContinues) << c + k;
            }
        }
        EXPECT_TRUE(drawn) << "symbol at " << c << " is blank";
        c += n;
    }
    EXPECT_GE(symbols, 3);
}

TEST(SampleUserFont, HeaderDescribesItsGlyphs) {
    const Bytes font = readFile("przyklad.fnd");
    ASSERT_GE(font.size(), 12u);
    EXPECT_EQ(font[0], 12);
    EXPECT_EQ(font[1] | font[2] | font[3], 0);
    const int width = font[4] | font[5] << 8, height = font[6] | font[7] << 8;
    const int count = font[10] | font[11] << 8;
    EXPECT_GE(width, 1);
    EXPECT_LE(width, 8);
    EXPECT_GE(height, 1);
    EXPECT_LE(height, 16);
    EXPECT_EQ(font.size(), 12u + std::size_t(count) * std::size_t(height));
    EXPECT_GE(count, 128);
}

TEST(GlyphSetsLoad, EveryDataFileAsTheDesignerDoes) {
    pixbar::GlyphSets sets;
    sets.setStartDirectory(kDataDir);
    ASSERT_TRUE(sets.LoadBuiltInFonts(kDataDir).ok());
    sets.InitFonts();
    for (const pixbar::BuiltInFont& f : pixbar::kBuiltInFonts) {
        const pixbar::FontEntry& e = sets.entry(f.tableIndex);
        EXPECT_EQ(e.width, f.width) << f.file;
        EXPECT_EQ(e.height, f.height) << f.file;
        EXPECT_NE(e.glyph(0x7E), nullptr) << f.file;
    }
    ASSERT_TRUE(sets.LoadSymbolTable().ok());
    const pixbar::FontEntry& symbols = sets.entry(pixbar::kIndexGraphicSymbols);
    EXPECT_EQ(symbols.width, 8);
    EXPECT_EQ(symbols.height, 16);
    EXPECT_EQ(symbols.glyphCount, 256);
    EXPECT_NE(symbols.glyph(255), nullptr);
    EXPECT_EQ(sets.symbolMap()[1], readFile("gfx_symbols_map.bin")[1]);

    ASSERT_TRUE(sets.LoadUserFont(kDataDir / "przyklad.fnd").ok());
    const pixbar::FontEntry& user = sets.entry(pixbar::kIndexUserFont);
    EXPECT_EQ(user.width, 6);
    EXPECT_EQ(user.height, 8);
    EXPECT_NE(user.glyph(0x7E), nullptr);
}

} // namespace
