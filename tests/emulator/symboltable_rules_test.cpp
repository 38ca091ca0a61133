// The symbol map rules: finding a symbol, the highlighted cells, free runs and pictures.
#include "symboltable.h"

#include <gtest/gtest.h>

using namespace pixbar;

namespace {

SymbolMap mapWith(std::initializer_list<std::pair<unsigned, std::uint8_t>> entries) {
    SymbolMap m{};
    for (auto [code, value] : entries) m[code] = value;
    return m;
}

/// A picture from text rows: '#' lit, '.' black.
PixelGrid picture(std::initializer_list<const char*> rows) {
    PixelGrid g;
    for (const char* r : rows) {
        const std::string line(r);
        g.width = int(line.size());
        for (char c : line) g.lit.push_back(c == '#' ? 1 : 0);
        ++g.height;
    }
    return g;
}

PixelGrid blank(int width, int height) {
    return {width, height, std::vector<std::uint8_t>(std::size_t(width) * height, 0)};
}

} // namespace

TEST(FindSymbol, AnyColumnOfASymbolGivesItsStartAndWidth) {
    const SymbolMap m = mapWith({{5, 3}, {6, 255}, {7, 255}, {9, 1}});
    struct Case {
        unsigned code;
        SymbolSpan want;
    };
    const Case cases[] = {
        {5, {5, 3}}, {6, {5, 3}}, {7, {5, 3}}, {8, {}}, {9, {9, 1}}, {4, {}}, {10, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(FindSymbol(m, c.code), c.want) << "code " << c.code;
}

TEST(FindSymbol, ContinuationsDownToCodeOneGiveNoSymbol) {
    const SymbolMap m = mapWith({{1, 255}, {2, 255}, {3, 255}});
    EXPECT_EQ(FindSymbol(m, 3), SymbolSpan{});
    EXPECT_EQ(FindSymbol(m, 1), SymbolSpan{});
}

TEST(FindSymbol, ContinuationAfterAFreeColumnGivesNoSymbol) {
    const SymbolMap m = mapWith({{4, 2}, {5, 255}, {6, 0}, {7, 255}});
    EXPECT_FALSE(FindSymbol(m, 7).found());
}

TEST(FindSymbol, CodeZeroAndCodesPastTheMapAreNeverSymbols) {
    SymbolMap m = mapWith({{0, 4}});
    EXPECT_FALSE(FindSymbol(m, 0).found());
    EXPECT_FALSE(FindSymbol(m, 256).found());
    EXPECT_FALSE(FindSymbol(m, 1000).found());
}

TEST(FindSymbol, LastMapByteIsFound) {
    const SymbolMap m = mapWith({{253, 3}, {254, 255}, {255, 255}});
    EXPECT_EQ(FindSymbol(m, 255), (SymbolSpan{253, 3}));
}

TEST(SymbolHighlight, MarksTheCellsOfTheSymbolUnderTheCell) {
    const SymbolMap m = mapWith({{33, 3}, {34, 255}, {35, 255}});
    // Cell 33 is the second column of the second row and shows code 34.
    const auto flags = SymbolHighlight(m, 33);
    for (int i = 0; i < kSymbolGridCells; ++i)
        EXPECT_EQ(flags[i], i >= 32 && i <= 34) << "cell " << i;
}

TEST(SymbolHighlight, NothingIsMarkedOnAFreeOrTheLastCell) {
    SymbolMap m = mapWith({{1, 2}, {2, 255}});
    const auto free = SymbolHighlight(m, 10);
    EXPECT_EQ(std::count(free.begin(), free.end(), true), 0);
    // The last cell looks up code 0, which is never a symbol.
    m[255] = 1;
    const auto last = SymbolHighlight(m, 255);
    EXPECT_EQ(std::count(last.begin(), last.end(), true), 0);
}

TEST(CellLookupCode, IsTheCellPlusOneExceptForTheLastCell) {
    EXPECT_EQ(CellLookupCode(0), 1u);
    EXPECT_EQ(CellLookupCode(31), 32u);
    EXPECT_EQ(CellLookupCode(254), 255u);
    EXPECT_EQ(CellLookupCode(255), 0u);
}

TEST(IsFreeRun, EveryColumnMustBeFree) {
    const SymbolMap m = mapWith({{10, 2}, {11, 255}});
    EXPECT_TRUE(IsFreeRun(m, 5, 5));
    EXPECT_FALSE(IsFreeRun(m, 5, 6));
    EXPECT_FALSE(IsFreeRun(m, 11, 1));
    EXPECT_TRUE(IsFreeRun(m, 12, 3));
    EXPECT_TRUE(IsFreeRun(m, 255, 1));
    EXPECT_FALSE(IsFreeRun(m, 255, 2)); // past the map
}

TEST(ConvertPicture, TwentyByTenGivesThreeColumnsOfSixteenBytes) {
    PixelGrid g = blank(20, 10);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) g.lit[std::size_t(y) * 20 + x] = 1;
    ImportStaging s;
    ASSERT_TRUE(ConvertPicture(g, s));
    EXPECT_EQ(s.columns, 3);
    EXPECT_EQ(s.rows, 10);
    EXPECT_EQ(s.count, 48u);
    for (int col = 0; col < 3; ++col)
        for (int r = 0; r < 16; ++r) {
            const std::uint8_t want = r >= 10 ? 0x00 : col < 2 ? 0xFF : 0xF0; // pixels 20..23 off
            EXPECT_EQ(s.bytes[col * 16 + r], want) << "column " << col << " row " << r;
        }
}

TEST(ConvertPicture, BitSevenIsTheLeftmostPixel) {
    const PixelGrid g = picture({
        "#.......#",
        ".#......#",
        "#......##",
    });
    ImportStaging s;
    ASSERT_TRUE(ConvertPicture(g, s));
    ASSERT_EQ(s.columns, 2);
    const std::uint8_t first[] = {0x80, 0x40, 0x81};
    const std::uint8_t second[] = {0x80, 0x80, 0x80};
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(s.bytes[r], first[r]) << r;
        EXPECT_EQ(s.bytes[16 + r], second[r]) << r;
    }
    EXPECT_EQ(s.count, 32u);
}

TEST(ConvertPicture, OnlyTheTopSixteenRowsAreTaken) {
    PixelGrid g = blank(8, 20);
    g.lit[std::size_t(15) * 8] = 1; // row 15
    g.lit[std::size_t(16) * 8] = 1; // row 16: dropped
    ImportStaging s;
    ASSERT_TRUE(ConvertPicture(g, s));
    EXPECT_EQ(s.rows, 16);
    EXPECT_EQ(s.count, 16u);
    EXPECT_EQ(s.bytes[15], 0x80);
    EXPECT_EQ(s.bytes[16], 0x00);
}

TEST(ConvertPicture, ALargerPictureLeavesNoEarlierBytes) {
    ImportStaging s;
    PixelGrid full = blank(16, 16);
    std::fill(full.lit.begin(), full.lit.end(), 1);
    ASSERT_TRUE(ConvertPicture(full, s));
    ASSERT_TRUE(ConvertPicture(blank(8, 2), s));
    EXPECT_EQ(s.columns, 1);
    EXPECT_EQ(std::count(s.bytes.begin(), s.bytes.end(), 0), std::ptrdiff_t(kStagingSize));
}

TEST(ConvertPicture, WiderThanTheStagingIsRefused) {
    ImportStaging s;
    EXPECT_TRUE(ConvertPicture(blank(8192, 1), s));
    EXPECT_EQ(s.columns, 1024);
    EXPECT_EQ(s.count, kStagingSize);
    PixelGrid wide = blank(8193, 1);
    wide.lit.back() = 1;
    EXPECT_FALSE(ConvertPicture(wide, s));
    EXPECT_EQ(s.columns, 0);
    EXPECT_EQ(s.count, 0u);
}

TEST(ConvertPicture, AnEmptyPictureHasNoColumns) {
    ImportStaging s;
    EXPECT_TRUE(ConvertPicture(PixelGrid{}, s));
    EXPECT_EQ(s.columns, 0);
}

TEST(SymbolPicture, TogglesThePixelUnderAPress) {
    SymbolPicture p{16, 4, 7, std::vector<std::uint8_t>(8, 0)};
    // Pixel (9, 2): second column, row 2, bit 6.
    EXPECT_TRUE(p.toggleAt(9 * 16 + 3, 2 * 16 + 15, 16));
    EXPECT_EQ(p.bytes[4 + 2], 0x40);
    EXPECT_TRUE(p.lit(9, 2));
    EXPECT_TRUE(p.toggleAt(9 * 16, 2 * 16, 16));
    EXPECT_EQ(p.bytes[6], 0x00);
    // The gap pixel still belongs to the square to its left and above.
    EXPECT_TRUE(p.toggleAt(15, 15, 16));
    EXPECT_EQ(p.bytes[0], 0x80);
}

TEST(SymbolPicture, PressesOutsideThePictureChangeNothing) {
    SymbolPicture p{8, 3, 1, std::vector<std::uint8_t>(3, 0)};
    EXPECT_FALSE(p.toggleAt(8 * 16, 0, 16));
    EXPECT_FALSE(p.toggleAt(0, 3 * 16, 16));
    EXPECT_FALSE(p.toggleAt(-1, 0, 16));
    SymbolPicture empty;
    EXPECT_FALSE(empty.toggleAt(0, 0, 16));
    EXPECT_EQ(p.bytes, std::vector<std::uint8_t>(3, 0));
}

TEST(PaintSymbolPicture, SquaresWithAOnePixelBlackGap) {
    SymbolPicture p{8, 2, 1, {0x80, 0x00}};
    std::vector<std::uint32_t> px(std::size_t(8 * 16) * (2 * 16), 0xDEADBEEF);
    PaintSymbolPicture(p, 16, Image32{px.data(), 128, 32, 128});
    const auto at = [&](int x, int y) { return px[std::size_t(y) * 128 + x]; };
    EXPECT_EQ(at(0, 0), kEditorLit);
    EXPECT_EQ(at(14, 14), kEditorLit);
    EXPECT_EQ(at(15, 0), 0u);
    EXPECT_EQ(at(0, 15), 0u);
    EXPECT_EQ(at(16, 0), kEditorUnlit);
    EXPECT_EQ(at(0, 16), kEditorUnlit);
    EXPECT_EQ(at(127, 31), 0u);
}
