#include "glyphs.h"
#include "testfonts.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace pixbar;
using namespace pixbar::testing;
namespace fs = std::filesystem;

class GlyphFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir = freshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        sets.setStartDirectory(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
    GlyphSets sets;
};

TEST_F(GlyphFiles, BuiltInFontsFillTheTableWithFixedSizes) {
    writeBuiltInFonts(dir);
    ASSERT_TRUE(sets.LoadBuiltInFonts(dir));
    sets.InitFonts();
    const std::uint16_t widths[16] = {5, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 0, 0, 8, 8};
    const std::uint16_t heights[16] = {7, 8, 8, 8, 8, 8, 16, 16, 16, 16, 16, 16, 0, 0, 8, 8};
    for (int i = 0; i < kFontTableSize; ++i) {
        SCOPED_TRACE(i);
        const FontEntry& e = sets.table()[i];
        EXPECT_EQ(e.width, widths[i]);
        EXPECT_EQ(e.height, heights[i]);
        EXPECT_EQ(e.reserved, 0);
        EXPECT_EQ(e.glyphCount, 0);
        EXPECT_EQ(e.data == nullptr, i == kIndexGraphicSymbols || i == kIndexUserFont);
    }
    // The editor icons share the symbol font's data.
    EXPECT_EQ(sets.table()[kIndexEditorIcons].data, sets.table()[kIndexSymbolFont].data);
    // Slot 7 of the load order is the "rl" face, which is font 8 (index 7) ...
    EXPECT_EQ(sets.table()[7].dataSize, 128u * 16);
    // ... and a glyph is read at code * height.
    EXPECT_EQ(sets.table()[6].row(0x41, 15), 0x41);
    EXPECT_EQ(sets.table()[0].row(0x41, 6), 0x40);
}

TEST_F(GlyphFiles, MissingBuiltInFontIsNamed) {
    writeBuiltInFonts(dir);
    fs::remove(dir / "font8x16lcd.fnt");
    const FileResult r = sets.LoadBuiltInFonts(dir);
    EXPECT_EQ(r.code, FileResult::Code::CannotOpen);
    EXPECT_EQ(r.file.filename(), "font8x16lcd.fnt");
    EXPECT_NE(r.message().find("font8x16lcd.fnt"), std::string::npos);
}

TEST_F(GlyphFiles, ShortRawFontDrawsBlankPastItsEnd) {
    writeBytes(dir / "short.fnt", {0xF8, 0x88, 0x88, 0x88, 0x88, 0x88, 0xF8, 0x20, 0x20, 0x20});
    ASSERT_TRUE(sets.LoadBuiltInFont(dir / "short.fnt", 0));
    sets.InitFonts();
    const FontEntry& e = sets.table()[0];
    EXPECT_NE(e.glyph(0), nullptr);
    EXPECT_EQ(e.glyph(1), nullptr); // only three of its seven rows exist
    EXPECT_EQ(e.row(1, 2), 0x20);
    EXPECT_EQ(e.row(1, 3), 0);
    EXPECT_EQ(e.row(200, 0), 0);
    EXPECT_EQ(e.row(0, 7), 0); // rows past the height are blank too
}

TEST_F(GlyphFiles, UserFontTakesSizesFromItsHeader) {
    writeBytes(dir / "a.fnd", headedFile(6, 10, 7, 3, rawFont(3, 10, [](int c, int r) {
                                             return std::uint8_t((c + 1) * 16 + r);
                                         })));
    ASSERT_TRUE(sets.LoadUserFont(dir / "a.fnd"));
    const FontEntry& e = sets.table()[kIndexUserFont];
    EXPECT_EQ(e.width, 6);
    EXPECT_EQ(e.height, 10);
    EXPECT_EQ(e.reserved, 7);
    EXPECT_EQ(e.glyphCount, 3);
    EXPECT_EQ(e.row(2, 9), 3 * 16 + 9);
    EXPECT_EQ(e.glyph(3), nullptr); // at the glyph count
    EXPECT_EQ(sets.userFontImage().size, 12u + 30);
    EXPECT_EQ(sets.userFontImage().bytes[0], 12);
    // The entry reads from its own block, not from the image that is sent to the sign.
    EXPECT_FALSE(e.data >= sets.userFontImage().bytes.data() &&
                 e.data < sets.userFontImage().bytes.data() + kHeadedImageSize);
}

TEST_F(GlyphFiles, SecondUserFontReplacesTheFirst) {
    writeBytes(dir / "a.fnd", headedFile(8, 8, 0, 2, rawFont(2, 8, [](int, int) { return 0xAA; })));
    writeBytes(dir / "b.fnd", headedFile(8, 4, 0, 1, rawFont(1, 4, [](int, int) { return 0x55; })));
    ASSERT_TRUE(sets.LoadUserFont(dir / "a.fnd"));
    ASSERT_TRUE(sets.LoadUserFont(dir / "b.fnd"));
    const FontEntry& e = sets.table()[kIndexUserFont];
    EXPECT_EQ(e.height, 4);
    EXPECT_EQ(e.row(0, 0), 0x55);
    EXPECT_EQ(e.row(1, 0), 0); // the first file had a glyph 1; the second has not
}

TEST_F(GlyphFiles, RefusedUserFontKeepsThePreviousOne) {
    writeBytes(dir / "good.fnd",
               headedFile(8, 8, 0, 1, rawFont(1, 8, [](int, int) { return 0x81; })));
    ASSERT_TRUE(sets.LoadUserFont(dir / "good.fnd"));

    auto bad = headedFile(8, 8, 0, 1, rawFont(1, 8, [](int, int) { return 0xFF; }));
    bad[2] = 1;
    writeBytes(dir / "bad.fnd", bad);
    const FileResult r = sets.LoadUserFont(dir / "bad.fnd");
    EXPECT_EQ(r.code, FileResult::Code::BadHeader);
    EXPECT_NE(r.message().find("bad.fnd"), std::string::npos);
    EXPECT_EQ(sets.LoadUserFont(dir / "missing.fnd").code, FileResult::Code::CannotOpen);
    writeBytes(dir / "tiny.fnd", {12, 0});
    EXPECT_EQ(sets.LoadUserFont(dir / "tiny.fnd").code, FileResult::Code::BadHeader);

    const FontEntry& e = sets.table()[kIndexUserFont];
    EXPECT_EQ(e.row(0, 0), 0x81);
    EXPECT_EQ(sets.userFontImage().bytes[12], 0x81);
}

TEST_F(GlyphFiles, TwelveByteFileHasSizesButNoGlyphs) {
    writeBytes(dir / "empty.fnd", headedFile(5, 9, 0, 40, {}));
    ASSERT_TRUE(sets.LoadUserFont(dir / "empty.fnd"));
    const FontEntry& e = sets.table()[kIndexUserFont];
    EXPECT_EQ(e.width, 5);
    EXPECT_EQ(e.height, 9);
    EXPECT_EQ(e.dataSize, 0u);
    EXPECT_EQ(e.glyph(0), nullptr);
    EXPECT_EQ(e.row(0, 0), 0);
}

TEST_F(GlyphFiles, OnlyTheFirst16384BytesOfALongFileAreUsed) {
    auto big =
        headedFile(8, 16, 0, 2000, rawFont(1100, 16, [](int c, int) { return std::uint8_t(c); }));
    ASSERT_GT(big.size(), kHeadedImageSize);
    writeBytes(dir / "big.fnd", big);
    writeBytes(dir / kSymbolTableFile, big);
    ASSERT_TRUE(sets.LoadUserFont(dir / "big.fnd"));
    ASSERT_TRUE(sets.LoadSymbolTable());
    EXPECT_EQ(sets.userFontImage().size, kHeadedImageSize);
    EXPECT_EQ(sets.symbolTableImage().size, kHeadedImageSize);
    // (16384 - 12) / 16 = 1023 whole glyphs; glyph 1023 is cut short and reads blank.
    for (int index : {kIndexUserFont, kIndexGraphicSymbols}) {
        const FontEntry& e = sets.table()[index];
        EXPECT_EQ(e.row(1022, 0), std::uint8_t(1022));
        EXPECT_EQ(e.row(1023, 4), 0);
        EXPECT_EQ(e.row(1050, 0), 0);
    }
    ASSERT_TRUE(sets.SaveSymbolTable());
    EXPECT_EQ(fs::file_size(dir / kSymbolTableFile), kHeadedImageSize);
}

TEST_F(GlyphFiles, SymbolTableIsReadInPlaceWithItsMap) {
    writeBuiltInFonts(dir);
    std::vector<std::uint8_t> map(256, 0);
    map[1] = 2;
    map[2] = kSymbolMapContinues;
    writeBytes(dir / kSymbolMapFile, map);
    ASSERT_TRUE(sets.LoadSymbolTable());
    const FontEntry& e = sets.table()[kIndexGraphicSymbols];
    EXPECT_EQ(e.width, 8);
    EXPECT_EQ(e.height, 16);
    EXPECT_EQ(e.glyphCount, 256);
    EXPECT_EQ(e.data, sets.symbolTableImage().bytes.data() + 12);
    EXPECT_EQ(sets.symbolMap()[1], 2);
    EXPECT_EQ(sets.symbolMap()[2], 255);
    EXPECT_EQ(sets.symbolTableImage().size, 4108u);

    // Edits to the image are what the table draws and what a save writes.
    sets.symbolTableImage().bytes[12 + 5 * 16] = 0x3C;
    EXPECT_EQ(e.row(5, 0), 0x3C);
    sets.symbolMap()[5] = 1;
    ASSERT_TRUE(sets.SaveSymbolTable());
    GlyphSets again;
    again.setStartDirectory(dir);
    ASSERT_TRUE(again.LoadSymbolTable());
    EXPECT_EQ(again.table()[kIndexGraphicSymbols].row(5, 0), 0x3C);
    EXPECT_EQ(again.symbolMap()[5], 1);
}

TEST_F(GlyphFiles, MissingMapLeavesEveryColumnFreeAndSaveCreatesIt) {
    writeBuiltInFonts(dir);
    ASSERT_TRUE(sets.LoadSymbolTable());
    for (std::uint8_t b : sets.symbolMap()) EXPECT_EQ(b, 0);
    ASSERT_TRUE(sets.SaveSymbolTable());
    EXPECT_EQ(fs::file_size(dir / kSymbolMapFile), 256u);
}

TEST_F(GlyphFiles, SymbolTableThatCannotBeUsedIsNamed) {
    FileResult r = sets.LoadSymbolTable();
    EXPECT_EQ(r.code, FileResult::Code::CannotOpen);
    EXPECT_EQ(r.file.filename(), kSymbolTableFile);
    writeBytes(dir / kSymbolTableFile, {11, 0, 0, 0, 8, 0, 16, 0, 0, 0, 1, 0});
    r = sets.LoadSymbolTable();
    EXPECT_EQ(r.code, FileResult::Code::BadHeader);
    EXPECT_NE(r.message().find(kSymbolTableFile), std::string::npos);
    EXPECT_EQ(sets.table()[kIndexGraphicSymbols].data, nullptr);
}

TEST_F(GlyphFiles, InitFontsEmptiesTheUserFont) {
    writeBuiltInFonts(dir);
    ASSERT_TRUE(sets.LoadBuiltInFonts(dir));
    sets.InitFonts();
    writeBytes(dir / "a.fnd", headedFile(8, 8, 0, 1, rawFont(1, 8, [](int, int) { return 0xFF; })));
    ASSERT_TRUE(sets.LoadUserFont(dir / "a.fnd"));
    sets.InitFonts();
    EXPECT_EQ(sets.table()[kIndexUserFont].data, nullptr);
    EXPECT_EQ(sets.table()[kIndexUserFont].height, 0);
    // The image keeps the last loaded file for sending.
    EXPECT_EQ(sets.userFontImage().bytes[12], 0xFF);
}

TEST(PolishGlyphMap, EighteenLettersMapToOneToEighteen) {
    const std::uint8_t letters[] = {0xB9, 0xE6, 0xEA, 0xB3, 0xF1, 0xF3, 0x9C, 0xBF, 0x9F,
                                    0xA5, 0xC6, 0xCA, 0xA3, 0xD1, 0xD3, 0x8C, 0xAF, 0x8F};
    for (int i = 0; i < 18; ++i) EXPECT_EQ(MapPolishLetter(letters[i]), i + 1) << i;
    int identity = 0;
    for (int c = 0; c < 256; ++c)
        if (MapPolishLetter(std::uint8_t(c)) == c) ++identity;
    EXPECT_EQ(identity, 256 - 18);
    EXPECT_EQ(MapPolishLetter(0x41), 0x41);
}

TEST(DrawTextPreview, LightsOnlySetBitsAndAdvancesByWidth) {
    std::vector<std::uint8_t> data = rawFont(
        4, 2, [](int c, int r) { return std::uint8_t(c == 1 ? (r == 0 ? 0x80 : 0x40) : 0); });
    FontEntry e{data.data(), data.size(), 3, 2, 0, 0};
    std::vector<std::uint32_t> px(10 * 4, 7);
    Image32 canvas{px.data(), 10, 4, 10};
    const char text[] = {1, 1, char(0xB9), 1, 0, 1};
    DrawTextPreview(e, canvas, 0xABCDEF, 1, 1, std::string_view(text, sizeof text));
    auto at = [&](int x, int y) { return px[y * 10 + x]; };
    EXPECT_EQ(at(1, 1), 0xABCDEFu);
    EXPECT_EQ(at(2, 2), 0xABCDEFu);
    EXPECT_EQ(at(4, 1), 0xABCDEFu);
    EXPECT_EQ(at(5, 2), 0xABCDEFu);
    // 0xB9 is not mapped to the Polish glyph 1 and lies past the data: blank, but advances.
    EXPECT_EQ(at(7, 1), 7u);
    EXPECT_EQ(at(8, 2), 7u);
    int lit = 0;
    for (auto p : px) lit += p == 0xABCDEF;
    EXPECT_EQ(lit, 4); // the zero byte ends the text; unlit pixels keep their colour
}

TEST_F(GlyphFiles, ACopyDrawsFromItsOwnDataAndTakesImagesFromMemory) {
    writeBuiltInFonts(dir);
    ASSERT_TRUE(sets.LoadBuiltInFonts(dir));
    sets.InitFonts();
    ASSERT_TRUE(sets.LoadSymbolTable());
    const auto font = headedFile(
        6, 10, 0, 3, rawFont(3, 10, [](int c, int r) { return std::uint8_t((c + 1) * 16 + r); }));
    ASSERT_TRUE(sets.SetUserFontImage(font));
    auto original = std::make_unique<GlyphSets>(sets);
    const GlyphSets copy(*original);
    for (int i = 0; i < kFontTableSize; ++i) {
        SCOPED_TRACE(i);
        const std::uint8_t* data = copy.table()[i].data;
        EXPECT_EQ(data == nullptr, original->table()[i].data == nullptr);
        if (data) {
            EXPECT_NE(data, original->table()[i].data);
        }
    }
    original.reset(); // the copy outlives it
    EXPECT_EQ(copy.entry(1).row(0x41, 0), 0x41);
    EXPECT_EQ(copy.entry(kIndexUserFont).row(2, 9), 3 * 16 + 9);
    EXPECT_EQ(copy.entry(kIndexGraphicSymbols).row(7, 3), 7);

    // Images in memory are refused as files are when the header is wrong.
    GlyphSets other(copy);
    EXPECT_FALSE(other.SetUserFontImage(std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(other.entry(kIndexUserFont).width, 6); // the previous font stays
    EXPECT_FALSE(other.SetSymbolTableImage(std::vector<std::uint8_t>(40, 9)));
    EXPECT_EQ(other.entry(kIndexGraphicSymbols).data, nullptr);
}
