#include "editorfixture.h"

#include <algorithm>

using namespace pixbar;
using pixbar::test::EditorTest;

namespace {

/// Glyph rows that differ from glyph to glyph (37 is odd, so code -> row is one to one).
std::uint8_t pattern(int code, int row) {
    return std::uint8_t(code * 37 + row * 11 + 1);
}

std::vector<std::uint8_t> makeGlyphs(int count, int height) {
    std::vector<std::uint8_t> data(std::size_t(count) * height);
    for (int g = 0; g < count; ++g)
        for (int r = 0; r < height; ++r) data[std::size_t(g) * height + r] = pattern(g, r);
    return data;
}

FontEntry entryOn(const std::vector<std::uint8_t>& data, int width, int height) {
    FontEntry e;
    e.data = data.data();
    e.dataSize = data.size();
    e.width = std::uint16_t(width);
    e.height = std::uint16_t(height);
    return e;
}

using Picture = std::vector<std::uint32_t>;

/// A glyph magnified twice: 2 scanlines a row, 2 pixels a bit; black below it.
Picture magnified(const std::vector<std::uint8_t>& rows, std::uint32_t fg, std::uint32_t bg) {
    Picture p(kCellImageWidth * kCellImageHeight, kCellBlack);
    for (int s = 0; s < int(rows.size()) * 2 && s < kCellImageHeight; ++s)
        for (int x = 0; x < kCellImageWidth; ++x)
            p[std::size_t(s) * kCellImageWidth + x] = rows[s / 2] & (0x80 >> (x / 2)) ? fg : bg;
    return p;
}

std::vector<std::uint8_t> glyphRows(int code, int height) {
    std::vector<std::uint8_t> rows(height);
    for (int r = 0; r < height; ++r) rows[r] = pattern(code, r);
    return rows;
}

} // namespace

class EditorDraw : public EditorTest {
protected:
    void SetUp() override {
        fonts[0] = entryOn(font1, 5, 7);
        fonts[1] = entryOn(font2, 8, 8);
        fonts[2] = entryOn(shortFont, 8, 8);
        fonts[6] = entryOn(font7, 8, 16);
        fonts[kIndexSymbolFont] = entryOn(symbols, 8, 8);
        fonts[kIndexEditorIcons] = entryOn(symbols, 8, 8);
    }
    /// Draws cell c as the grid would and returns the picture handed to the grid.
    Picture draw(int c, DrawState state = {}) {
        editor.drawCell(c % kGridColumns, c / kGridColumns, {1, 2, 3, 4}, state);
        return grid.lastImage;
    }
    Picture icon(int n) { return magnified(glyphRows(n, 8), kCellIcon, kCellBlack); }

    std::vector<std::uint8_t> font1 = makeGlyphs(256, 7);
    std::vector<std::uint8_t> font2 = makeGlyphs(256, 8);
    std::vector<std::uint8_t> shortFont = makeGlyphs(4, 8);
    std::vector<std::uint8_t> font7 = makeGlyphs(256, 16);
    std::vector<std::uint8_t> symbols = makeGlyphs(256, 8);
};

TEST_F(EditorDraw, EveryItemShowsItsIcon) {
    struct Case {
        const char* name;
        std::vector<Cell> cells;
        int drawn;
        int icon;
    };
    const Cell pause{kDefaultPause, kParameterMark};
    std::vector<Case> cases = {
        {"inverse", {{0x50, 0x81}}, 0, 1},
        {"normal", {{0x50, 0x80}}, 0, 2},
        {"normal, low bits only", {{0x50, 0x00}}, 0, 2},
        {"inverse, low bits only", {{0x50, 0x01}}, 0, 1},
        {"time", {{0x13, kMarkTime}}, 0, 35},
        {"date", {{0x2C, kMarkDate}}, 0, 33},
        {"temperature", {{0x31, kMarkTemperature}}, 0, 34},
        {"pause lead", {{kAttrLead, kLeadPause}, pause}, 0, 7},
        {"pause parameter", {{kAttrLead, kLeadPause}, pause}, 1, 8},
    };
    const int firstIcons[] = {0, 3, 5, 15, 13, 25, 23, 21, 9, 11, 29, 27, 36};
    for (int e = 1; e <= kEffectCodeCount; ++e) {
        const std::vector<Cell> item = {
            {2, 'A'}, {kAttrLead, kLeadEffect}, {std::uint8_t(e), kParameterMark}, {2, 'B'}};
        cases.push_back({"effect lead", item, 1, firstIcons[e]});
        cases.push_back({"effect parameter", item, 2, firstIcons[e] + 1});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ", icon " + std::to_string(c.icon));
        editor.clear();
        setCells(c.cells);
        EXPECT_EQ(draw(c.drawn), icon(c.icon));
    }
}

TEST_F(EditorDraw, EffectWithUnknownCodeShowsNoEffectIcon) {
    setCells({{kAttrLead, kLeadEffect}, {13, kParameterMark}});
    // The lead is drawn from the icon font with its own character; the parameter is a font 13
    // cell, and font 13 is not loaded.
    EXPECT_EQ(draw(0), icon(kLeadEffect));
    EXPECT_EQ(draw(1), Picture(512, kCellBlack));
}

TEST_F(EditorDraw, FormatMarkWithOtherBitsIsNoIconAndReadsNothingPastTheIcons) {
    fonts[kIndexEditorIcons] = entryOn(shortFont, 8, 8);
    setCells({{0x50, 0x85}});
    EXPECT_EQ(draw(0), magnified(std::vector<std::uint8_t>(8, 0), kCellIcon, kCellBlack));
}

TEST_F(EditorDraw, TextCellInLightGreyEachBitTwice) {
    font2['A' * 8 + 0] = 0x80;
    font2['A' * 8 + 1] = 0x01;
    font2['A' * 8 + 2] = 0xFF;
    font2['A' * 8 + 3] = 0x00;
    setCells({{2, 'A'}});
    const Picture p = draw(0);
    auto at = [&](int x, int y) { return p[std::size_t(y) * kCellImageWidth + x]; };
    for (int y : {0, 1}) {
        EXPECT_EQ(at(0, y), kCellText);
        EXPECT_EQ(at(1, y), kCellText);
        EXPECT_EQ(at(2, y), kCellBlack);
        EXPECT_EQ(at(15, y), kCellBlack);
    }
    for (int y : {2, 3}) {
        EXPECT_EQ(at(13, y), kCellBlack);
        EXPECT_EQ(at(14, y), kCellText);
        EXPECT_EQ(at(15, y), kCellText);
    }
    for (int x = 0; x < 16; ++x) EXPECT_EQ(at(x, 4), kCellText);
    for (int x = 0; x < 16; ++x) EXPECT_EQ(at(x, 7), kCellBlack);
    EXPECT_EQ(p, magnified(std::vector<std::uint8_t>(font2.begin() + 'A' * 8,
                                                     font2.begin() + 'A' * 8 + 8),
                           kCellText, kCellBlack));
    EXPECT_EQ(grid.lastRect.left, 1);
    EXPECT_EQ(grid.lastRect.top, 2);
}

TEST_F(EditorDraw, GreyBackgroundOnlyForSelectedCellOfFocusedGrid) {
    setCells({{2, 'A'}});
    const std::vector<std::uint8_t> rows = glyphRows('A', 8);
    EXPECT_EQ(draw(0, {true, true}), magnified(rows, kCellText, kCellSelected));
    EXPECT_EQ(draw(0, {true, false}), magnified(rows, kCellText, kCellBlack));
    EXPECT_EQ(draw(0, {false, true}), magnified(rows, kCellText, kCellBlack));
    // Below the glyph the cell stays black even when selected.
    const Picture p = draw(0, {true, true});
    EXPECT_EQ(p[16 * kCellImageWidth], kCellBlack);
    EXPECT_EQ(p[31 * kCellImageWidth + 15], kCellBlack);
}

TEST_F(EditorDraw, EmptyCellIsBackgroundColour) {
    EXPECT_EQ(draw(0, {true, true}), Picture(512, kCellSelected));
    EXPECT_EQ(draw(0), Picture(512, kCellBlack));
    EXPECT_EQ(draw(40, {false, true}), Picture(512, kCellBlack));
}

TEST_F(EditorDraw, GlyphHeightSetsTheScanlines) {
    setCells({{1, 'A'}, {7, 'A'}});
    const Picture small = draw(0, {true, true});
    EXPECT_EQ(small, magnified(glyphRows('A', 7), kCellText, kCellSelected));
    EXPECT_EQ(small[14 * kCellImageWidth], kCellBlack);
    EXPECT_EQ(draw(1, {true, true}), magnified(glyphRows('A', 16), kCellText, kCellSelected));
}

TEST_F(EditorDraw, PolishLettersMappedExceptInFonts13And15) {
    std::vector<std::uint8_t> graphic = makeGlyphs(256, 8);
    fonts[kIndexGraphicSymbols] = entryOn(graphic, 8, 8);
    setCells({{2, 0xB9}, {2, 0x8F}, {0x0F, 0xB9}, {0x0D, 0xB9}, {2, 'A'}});
    EXPECT_EQ(draw(0), magnified(glyphRows(1, 8), kCellText, kCellBlack));
    EXPECT_EQ(draw(1), magnified(glyphRows(18, 8), kCellText, kCellBlack));
    EXPECT_EQ(draw(2), magnified(glyphRows(0xB9, 8), kCellText, kCellBlack));
    EXPECT_EQ(draw(3), magnified(glyphRows(0xB9, 8), kCellText, kCellBlack));
    EXPECT_EQ(draw(4), magnified(glyphRows('A', 8), kCellText, kCellBlack));
}

TEST_F(EditorDraw, FontsNotLoadedDrawBlack) {
    setCells({{0x0D, 5}, {0x0E, 'A'}, {0x1E, kMarkTime}});
    EXPECT_EQ(draw(0, {true, true}), Picture(512, kCellBlack));
    EXPECT_EQ(draw(1, {true, true}), Picture(512, kCellBlack));
    // A field keeps its font, but the editor shows its icon whatever the font.
    EXPECT_EQ(draw(2), icon(kIconTime));
}

TEST_F(EditorDraw, CodePastTheEndOfTheFontIsBlank) {
    setCells({{3, 'A'}, {3, 2}});
    EXPECT_EQ(draw(0, {true, true}),
              magnified(std::vector<std::uint8_t>(8, 0), kCellText, kCellSelected));
    EXPECT_EQ(draw(1), magnified(glyphRows(2, 8), kCellText, kCellBlack));
}

TEST_F(EditorDraw, CellsBehindTheAreaAreAlwaysEmpty) {
    MessageRecord r;
    for (int i = 0; i < kCellCount; ++i) r.setCell(i, {2, 'x'});
    r.setCell(499, {kAttrLead, kLeadPause});
    std::fill(r.bytes.begin() + kSentinelOffset, r.bytes.end(), std::uint8_t(0x02));
    editor.loadRecord(r);
    for (int c = kCellCount; c < kGridColumns * kGridRows; ++c)
        EXPECT_EQ(draw(c, {true, true}), Picture(512, kCellSelected)) << "cell " << c;
    EXPECT_EQ(draw(499), icon(kIconPauseLead));
}

TEST_F(EditorDraw, EveryDrawnCellGoesToTheGrid) {
    const int before = grid.copies;
    for (int c = 0; c < kGridColumns * kGridRows; ++c) draw(c);
    EXPECT_EQ(grid.copies, before + kGridColumns * kGridRows);
    EXPECT_EQ(grid.lastImage.size(), std::size_t(kCellImageWidth * kCellImageHeight));
}
