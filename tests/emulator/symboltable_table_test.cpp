// Placing, removing and rewriting symbols in the loaded symbol table, and painting its cells.
#include "symboltable.h"
#include "testfonts.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace pixbar;
using namespace pixbar::testing;
namespace fs = std::filesystem;

namespace {

class SymbolTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = freshDir(std::string("symtab-") +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
        glyphs.setStartDirectory(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    /// An empty table of `count` columns of `height` rows (the file holds `stored` of them).
    void load(std::uint16_t height, std::uint16_t count, int stored = -1) {
        if (stored < 0) stored = count;
        writeBytes(dir / kSymbolTableFile,
                   headedFile(8, height, 0, count, std::vector<std::uint8_t>(stored * height)));
        ASSERT_TRUE(glyphs.LoadSymbolTable());
    }
    std::vector<std::uint8_t> file(const char* name) {
        std::ifstream in(dir / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    /// Staging of `columns` columns whose every row r holds `value + r`.
    static ImportStaging staged(int columns, std::uint8_t value = 0x10) {
        ImportStaging s;
        for (int i = 0; i < columns; ++i)
            for (int r = 0; r < 16; ++r) s.bytes[s.count++] = std::uint8_t(value + i * 16 + r);
        s.columns = columns;
        s.rows = 16;
        return s;
    }
    std::uint8_t glyph(unsigned code, unsigned r) {
        return glyphs.entry(kIndexGraphicSymbols).row(code, r);
    }

    fs::path dir;
    GlyphSets glyphs;
};

} // namespace

TEST_F(SymbolTableTest, PicturePlacedAtCodeFiveOfAnEmptyTable) {
    load(16, 256);
    PixelGrid g{20, 10, std::vector<std::uint8_t>(200, 1)};
    ImportStaging s;
    ASSERT_TRUE(ConvertPicture(g, s));
    SymbolTable table(glyphs);
    ASSERT_EQ(table.place(5, s), PlaceResult::Placed);
    ASSERT_TRUE(table.commit());

    const auto& map = glyphs.symbolMap();
    EXPECT_EQ(map[4], 0);
    EXPECT_EQ(map[5], 3);
    EXPECT_EQ(map[6], 255);
    EXPECT_EQ(map[7], 255);
    EXPECT_EQ(map[8], 0);
    for (unsigned r = 0; r < 16; ++r) {
        EXPECT_EQ(glyph(5, r), r < 10 ? 0xFF : 0x00) << r;
        EXPECT_EQ(glyph(7, r), r < 10 ? 0xF0 : 0x00) << r;
    }
    EXPECT_EQ(glyph(8, 0), 0x00);
    // Both files hold what is shown.
    const auto bin = file(kSymbolTableFile);
    ASSERT_EQ(bin.size(), 12u + 256 * 16);
    EXPECT_EQ(bin[12 + 5 * 16], 0xFF);
    EXPECT_EQ(bin[12 + 7 * 16 + 9], 0xF0);
    const auto mapFile = file(kSymbolMapFile);
    ASSERT_EQ(mapFile.size(), 256u);
    EXPECT_EQ(mapFile[5], 3);
    EXPECT_EQ(mapFile[7], 255);
}

TEST_F(SymbolTableTest, TakenColumnsChangeNothing) {
    load(16, 256);
    SymbolTable table(glyphs);
    ASSERT_EQ(table.place(10, staged(2, 0x01)), PlaceResult::Placed);
    const auto before = glyphs.symbolTableImage().bytes;
    const auto mapBefore = glyphs.symbolMap();
    EXPECT_EQ(table.place(8, staged(3, 0x80)), PlaceResult::Taken); // 8, 9, 10
    EXPECT_EQ(table.place(11, staged(1, 0x80)), PlaceResult::Taken);
    EXPECT_EQ(glyphs.symbolTableImage().bytes, before);
    EXPECT_EQ(glyphs.symbolMap(), mapBefore);
    EXPECT_EQ(table.place(8, staged(2, 0x80)), PlaceResult::Placed); // 8, 9 are free
}

TEST_F(SymbolTableTest, RoomIsLimitedByTheGlyphCount) {
    load(16, 40);
    SymbolTable table(glyphs);
    EXPECT_EQ(table.codeLimit(), 40u);
    EXPECT_EQ(table.place(36, staged(5)), PlaceResult::NoRoom); // would use 36..40
    EXPECT_EQ(table.place(35, staged(5)), PlaceResult::Placed); // 35..39
    EXPECT_EQ(glyphs.symbolMap()[35], 5);
}

TEST_F(SymbolTableTest, CodesTwoHundredFiftyFiveAndUpAreNeverUsed) {
    load(16, 600);
    SymbolTable table(glyphs);
    EXPECT_EQ(table.codeLimit(), 255u);
    EXPECT_EQ(table.place(254, staged(2)), PlaceResult::NoRoom);
    EXPECT_EQ(table.place(255, staged(1)), PlaceResult::NoRoom);
    EXPECT_EQ(table.place(256, staged(1)), PlaceResult::NoRoom);
    EXPECT_EQ(table.place(254, staged(1)), PlaceResult::Placed);
    EXPECT_EQ(glyphs.symbolMap()[255], 0);
}

TEST_F(SymbolTableTest, TablesWithoutUsableHeightTakeNoSymbol) {
    for (std::uint16_t h : {std::uint16_t(0), std::uint16_t(17)}) {
        load(h, 100);
        SymbolTable table(glyphs);
        EXPECT_EQ(table.codeLimit(), 0u) << h;
        EXPECT_EQ(table.place(1, staged(1)), PlaceResult::NoRoom) << h;
    }
}

TEST_F(SymbolTableTest, EightRowTableTakesTheTopEightRowsOfEachColumn) {
    load(8, 256);
    SymbolTable table(glyphs);
    ASSERT_EQ(table.place(3, staged(2, 0x20)), PlaceResult::Placed);
    for (unsigned r = 0; r < 8; ++r) {
        EXPECT_EQ(glyph(3, r), 0x20 + r);
        EXPECT_EQ(glyph(4, r), 0x30 + r);
    }
    EXPECT_EQ(glyph(5, 0), 0x00); // the lower rows do not spill into the next code
    EXPECT_EQ(glyphs.symbolMap()[3], 2);
    EXPECT_EQ(glyphs.symbolMap()[4], 255);
    EXPECT_EQ(glyphs.symbolMap()[5], 0);
}

TEST_F(SymbolTableTest, ColumnsPastAShortFileAreKeptBySaving) {
    load(16, 256, 4); // the file holds only codes 0..3
    SymbolTable table(glyphs);
    ASSERT_EQ(table.place(10, staged(1, 0x40)), PlaceResult::Placed);
    ASSERT_TRUE(table.commit());
    EXPECT_EQ(glyph(10, 0), 0x40);
    const auto bin = file(kSymbolTableFile);
    ASSERT_EQ(bin.size(), 12u + 11 * 16);
    EXPECT_EQ(bin[12 + 10 * 16 + 15], 0x4F);
    // Reading it back gives the same symbol.
    GlyphSets again;
    again.setStartDirectory(dir);
    ASSERT_TRUE(again.LoadSymbolTable());
    EXPECT_EQ(again.entry(kIndexGraphicSymbols).row(10, 1), 0x41);
    EXPECT_EQ(again.symbolMap()[10], 1);
}

TEST_F(SymbolTableTest, AnEmptyStagingPlacesNothing) {
    load(16, 256);
    glyphs.symbolMap()[4] = 2;
    SymbolTable table(glyphs);
    EXPECT_EQ(table.place(4, ImportStaging{}), PlaceResult::Placed);
    EXPECT_EQ(glyphs.symbolMap()[4], 2);
}

TEST_F(SymbolTableTest, RemoveClearsColumnsAndMap) {
    load(16, 256);
    SymbolTable table(glyphs);
    ASSERT_EQ(table.place(20, staged(3, 0x01)), PlaceResult::Placed);
    ASSERT_EQ(table.place(23, staged(1, 0x01)), PlaceResult::Placed);
    const SymbolSpan s = table.find(21);
    ASSERT_EQ(s, (SymbolSpan{20, 3}));
    table.remove(s);
    for (unsigned c = 20; c < 23; ++c) {
        EXPECT_EQ(glyphs.symbolMap()[c], 0) << c;
        for (unsigned r = 0; r < 16; ++r) EXPECT_EQ(glyph(c, r), 0) << c;
    }
    EXPECT_EQ(glyphs.symbolMap()[23], 1);
    EXPECT_EQ(glyph(23, 0), 0x01);
    EXPECT_FALSE(table.find(21).found());
}

TEST_F(SymbolTableTest, RemoveStaysInsideTheMapAndImage) {
    load(16, 256);
    glyphs.symbolMap()[250] = 200; // a damaged map claims columns far past the table
    SymbolTable table(glyphs);
    table.remove(table.find(250));
    EXPECT_EQ(glyphs.symbolMap()[250], 0);
    EXPECT_EQ(glyphs.symbolMap()[255], 0);
}

TEST_F(SymbolTableTest, ColumnsReadAndWrittenBackColumnAfterColumn) {
    load(16, 256);
    SymbolTable table(glyphs);
    ASSERT_EQ(table.place(40, staged(2, 0x00)), PlaceResult::Placed);
    std::vector<std::uint8_t> bytes = table.columns({40, 2});
    ASSERT_EQ(bytes.size(), 32u);
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[17], 0x11); // column 1, row 1
    bytes[17] = 0xAA;
    table.writeColumns(40, bytes);
    ASSERT_TRUE(table.commit());
    EXPECT_EQ(glyph(41, 1), 0xAA);
    EXPECT_EQ(file(kSymbolTableFile)[12 + 41 * 16 + 1], 0xAA);
}

TEST_F(SymbolTableTest, ColumnsPastTheImageReadAsZeroAndAreNotWritten) {
    load(16, 1100);
    SymbolTable table(glyphs);
    // Code 1023 is the last one the image holds at 16 rows.
    const auto bytes = table.columns({1022, 3});
    EXPECT_EQ(bytes.size(), 48u);
    table.writeColumns(1022, std::vector<std::uint8_t>(48, 0x77));
    EXPECT_EQ(glyphs.symbolTableImage().bytes[12 + 1022 * 16], 0x77);
    EXPECT_EQ(glyphs.symbolTableImage().bytes[kHeadedImageSize - 1], 0x77);
    EXPECT_EQ(glyphs.symbolTableImage().size, kHeadedImageSize);
}

TEST_F(SymbolTableTest, CommitReportsAFolderThatCannotBeWritten) {
    load(16, 16);
    glyphs.setStartDirectory(dir / "missing");
    SymbolTable table(glyphs);
    const FileResult r = table.commit();
    EXPECT_FALSE(r);
    EXPECT_NE(r.message().find(kSymbolTableFile), std::string::npos);
}

TEST_F(SymbolTableTest, PaintedCellShowsEachPixelTwiceInBothDirections) {
    load(16, 256);
    SymbolTable table(glyphs);
    ImportStaging s;
    s.bytes[0] = 0x81; // row 0: first and last pixel
    s.bytes[15] = 0x40;
    s.columns = 1;
    ASSERT_EQ(table.place(1, s), PlaceResult::Placed);
    table.commit();

    std::vector<std::uint32_t> px(16 * 32, 0x12345678);
    const Image32 canvas{px.data(), 16, 32, 16};
    const auto at = [&](int x, int y) { return px[std::size_t(y) * 16 + x]; };
    PaintSymbolCell(glyphs.entry(kIndexGraphicSymbols), 0, false, canvas);
    for (int y : {0, 1}) {
        EXPECT_EQ(at(0, y), kCellLit);
        EXPECT_EQ(at(1, y), kCellLit);
        EXPECT_EQ(at(2, y), kCellUnlit);
        EXPECT_EQ(at(14, y), kCellLit);
        EXPECT_EQ(at(15, y), kCellLit);
    }
    EXPECT_EQ(at(2, 30), kCellLit);
    EXPECT_EQ(at(3, 31), kCellLit);
    EXPECT_EQ(at(0, 30), kCellUnlit);

    PaintSymbolCell(glyphs.entry(kIndexGraphicSymbols), 0, true, canvas);
    EXPECT_EQ(at(0, 0), kCellMarkedLit);
    EXPECT_EQ(at(2, 0), kCellMarkedUnlit);
}

TEST_F(SymbolTableTest, PaintedCellOfAShortTableLeavesTheRestBlack) {
    load(8, 256);
    std::vector<std::uint32_t> px(16 * 32, 0x12345678);
    PaintSymbolCell(glyphs.entry(kIndexGraphicSymbols), 3, true, Image32{px.data(), 16, 32, 16});
    EXPECT_EQ(px[15 * 16], kCellMarkedUnlit); // line 15 is row 7
    EXPECT_EQ(px[16 * 16], 0u);               // line 16 is below the glyph
}

TEST_F(SymbolTableTest, TheTwoLastCellsAreDarkBrown) {
    load(16, 256);
    std::vector<std::uint32_t> px(16 * 32, 0);
    for (int cell : {254, 255}) {
        PaintSymbolCell(glyphs.entry(kIndexGraphicSymbols), cell, true,
                        Image32{px.data(), 16, 32, 16});
        EXPECT_EQ(std::count(px.begin(), px.end(), kCellUnavailable), 16 * 32) << cell;
    }
}
