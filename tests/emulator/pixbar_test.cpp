#include "pixbar.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

using namespace pixbar;

namespace {

SignGeometry sign(int registers, int height) {
    SignGeometry g;
    g.set(registers, height);
    return g;
}

/// A font table entry over test-owned glyph data.
struct TestFont {
    std::vector<std::uint8_t> data;
    FontEntry entry(int width, int height) const {
        return {data.data(), data.size(), std::uint16_t(width), std::uint16_t(height), 0, 0};
    }
};

/// Row y of the visible sign as '#' and '.'.
std::string rowText(const SignGeometry& g, const FrameBuffer& b, int y, int columns = -1) {
    std::string s;
    const int n = columns < 0 ? 8 * g.stride : columns;
    for (int x = 0; x < n; ++x) s += GetPixel(g, b, x, y) ? '#' : '.';
    return s;
}

} // namespace

TEST(FramePixels, OutsideTheSignNothingChanges) {
    const SignGeometry g = sign(2, 8);
    FrameBuffer b{};
    SetPixel(g, b, 16, 0, 1); // first hidden column
    SetPixel(g, b, 0, 8, 1);  // row H
    SetPixel(g, b, -1, 0, 1);
    EXPECT_EQ(b, FrameBuffer{});
    SetPixel(g, b, 15, 7, 1);
    EXPECT_EQ(b[7 * 4 + 1], 0x01);
    EXPECT_EQ(GetPixel(g, b, 15, 7), 1);
    EXPECT_EQ(GetPixel(g, b, -1, 7), 0);
    EXPECT_EQ(GetPixel(g, b, 0, -1), 0);
    SetPixel(g, b, 15, 7, 2); // only bit 0 of the value counts
    EXPECT_EQ(GetPixel(g, b, 15, 7), 0);
}

TEST(FramePixels, HiddenColumnsAreReadable) {
    const SignGeometry g = sign(1, 8);
    FrameBuffer b{};
    b[2] = 0x01; // last hidden pixel of row 0
    EXPECT_EQ(GetPixel(g, b, 23, 0), 1);
    EXPECT_EQ(GetPixel(g, b, 24, 0), 0); // past the stride: not the next row's first pixel
}

TEST(FrameRows, ClearAndInvertCoverHiddenBytesOfTheirRowsOnly) {
    const SignGeometry g = sign(3, 16);
    FrameBuffer b{};
    InvertRows(g, b, 2, 4);
    for (int i = 0; i < kFrameBufferSize; ++i)
        EXPECT_EQ(b[i], (i >= 2 * 5 && i < 4 * 5) ? 0xFF : 0x00) << i;
    b.fill(0x5A);
    ClearRows(g, b, 15, 16);
    EXPECT_EQ(b[15 * 5 - 1], 0x5A);
    EXPECT_EQ(b[15 * 5], 0);
    EXPECT_EQ(b[16 * 5 - 1], 0);
    EXPECT_EQ(b[16 * 5], 0x5A);
}

TEST(FrameRows, CopyRowsMovesVisibleBytesByRowOffset) {
    const SignGeometry g = sign(2, 16);
    FrameBuffer src{}, dst{};
    for (int y = 0; y < 16; ++y)
        for (int k = 0; k < 4; ++k) src[y * 4 + k] = std::uint8_t(y * 16 + k + 1);
    dst.fill(0xEE);
    CopyRows(g, dst, 0, 3, 8, 16, src);
    for (int j = 0; j < 16; ++j) {
        SCOPED_TRACE(j);
        const bool copied = j >= 8; // source rows 5..12 land on rows 8..15
        EXPECT_EQ(dst[j * 4], copied ? (j - 3) * 16 + 1 : 0xEE);
        EXPECT_EQ(dst[j * 4 + 1], copied ? (j - 3) * 16 + 2 : 0xEE);
        EXPECT_EQ(dst[j * 4 + 2], 0xEE); // hidden bytes are never copied
        EXPECT_EQ(dst[j * 4 + 3], 0xEE);
    }
    FrameBuffer before = dst;
    CopyRows(g, dst, 0, 16, 0, 16, src); // every target row at or below the end
    EXPECT_EQ(dst, before);
}

TEST(FrameRows, ShiftLeftCarriesHiddenPixelsIntoView) {
    const SignGeometry g = sign(1, 8);
    FrameBuffer b{};
    b[0] = 0x81; // leftmost and last visible pixel of row 0
    b[1] = 0x80; // leftmost pixel of the first hidden byte
    b[2] = 0x01;
    b[3] = 0xFF; // row 1 untouched
    ShiftRowsLeft(g, b, 0, 1);
    EXPECT_EQ(b[0], 0x03); // the old leftmost pixel is lost, the hidden one enters column 7
    EXPECT_EQ(b[1], 0x00);
    EXPECT_EQ(b[2], 0x02); // the last hidden pixel receives 0
    EXPECT_EQ(b[3], 0xFF);
}

TEST(FrameRows, LargestSignUsesTheWholeBuffer) {
    const SignGeometry g = sign(24, 16);
    EXPECT_EQ(g.stride, 26);
    FrameBuffer b{};
    InvertRows(g, b, 0, 16);
    for (auto v : b) EXPECT_EQ(v, 0xFF);
    SetPixel(g, b, 191, 15, 0);
    EXPECT_EQ(b[15 * 26 + 23], 0xFE);
    ShiftRowsLeft(g, b, 0, 16);
    EXPECT_EQ(b[415], 0xFE);
    EXPECT_EQ(b[15 * 26 + 22], 0xFF);
    EXPECT_EQ(b[15 * 26 + 23], 0xFD);
}

class Glyphs : public ::testing::Test {
protected:
    void SetUp() override {
        // Font 1 (index 0): 5 wide, 7 high; glyph 'I' = left column lit, glyph 1 = 0xF8 rows.
        narrow.data.assign(256 * 7, 0);
        for (int r = 0; r < 7; ++r) narrow.data['I' * 7 + r] = 0x80;
        for (int r = 0; r < 7; ++r) narrow.data[1 * 7 + r] = 0xF8;
        for (int r = 0; r < 7; ++r) narrow.data[0xB9 * 7 + r] = 0x08;
        // Font 7 (index 6): 8 x 16, glyph 'X' fully lit.
        tall.data.assign(128 * 16, 0);
        for (int r = 0; r < 16; ++r) tall.data['X' * 16 + r] = 0xFF;
        fonts[0] = narrow.entry(5, 7);
        fonts[6] = tall.entry(8, 16);
        fonts[kIndexGraphicSymbols] = narrow.entry(5, 7);
        fonts[kIndexSymbolFont] = narrow.entry(5, 7);
    }
    TestFont narrow, tall;
    FontTable fonts{};
    FrameBuffer b{};
};

TEST_F(Glyphs, TouchingCharactersGetOneBlankColumn) {
    const SignGeometry g = sign(2, 8);
    int x = 0;
    DrawGlyph(g, fonts, b, 0, x, 0, 8, true, 'I', 0);
    EXPECT_EQ(x, 5);
    x = 1; // right after the lit column of the first I
    DrawGlyph(g, fonts, b, 0, x, 0, 8, true, 'I', 0);
    EXPECT_EQ(x, 2 + 5);
    EXPECT_EQ(rowText(g, b, 0, 8), "#.#.....");
    EXPECT_EQ(rowText(g, b, 7, 8), "........"); // a 7-row glyph leaves row 7 alone
}

TEST_F(Glyphs, SymbolFontsTouchWithoutSpacing) {
    const SignGeometry g = sign(2, 8);
    for (int index : {kIndexGraphicSymbols, kIndexSymbolFont}) {
        b.fill(0);
        int x = 0;
        DrawGlyph(g, fonts, b, index, x, 0, 8, true, 'I', 0);
        x = 1;
        DrawGlyph(g, fonts, b, index, x, 0, 8, true, 'I', 0);
        EXPECT_EQ(x, 6);
        EXPECT_EQ(rowText(g, b, 0, 8), "##......") << index;
    }
}

TEST_F(Glyphs, PolishLettersAreMappedExceptForSymbolFonts) {
    const SignGeometry g = sign(1, 8);
    int x = 0;
    DrawGlyph(g, fonts, b, 0, x, 0, 8, false, 0xB9, 0); // "ą": glyph 1
    EXPECT_EQ(rowText(g, b, 0, 8), "#####...");
    b.fill(0);
    x = 0;
    DrawGlyph(g, fonts, b, kIndexSymbolFont, x, 0, 8, false, 0xB9, 0); // glyph 0xB9 itself
    EXPECT_EQ(rowText(g, b, 0, 8), "....#...");
}

TEST_F(Glyphs, GlyphsAreClippedAtTheEndRow) {
    const SignGeometry g = sign(1, 16);
    int x = 0;
    DrawGlyph(g, fonts, b, 6, x, 8, 16, false, 'X', 0);
    for (int y = 0; y < 16; ++y) EXPECT_EQ(b[y * 3], y >= 8 ? 0xFF : 0x00) << y;
    b.fill(0);
    x = 0;
    DrawGlyph(g, fonts, b, 6, x, 4, 8, false, 'X', 0);
    for (int y = 0; y < 16; ++y) EXPECT_EQ(b[y * 3], y >= 4 && y < 8 ? 0xFF : 0x00) << y;
    EXPECT_EQ(x, 8);
}

TEST_F(Glyphs, UnalignedGlyphSpillsIntoTheNextByteOnly) {
    const SignGeometry g = sign(2, 16);
    b.fill(0xFF);
    int x = 3;
    DrawGlyph(g, fonts, b, 6, x, 0, 16, false, 'A', 0); // blank 8-wide glyph clears 8 pixels
    EXPECT_EQ(b[0], 0xE0);
    EXPECT_EQ(b[1], 0x1F);
    EXPECT_EQ(b[2], 0xFF);
}

TEST_F(Glyphs, InverseNarrowGlyphLightsThePixelsToItsRight) {
    const SignGeometry g = sign(1, 8);
    int x = 0;
    DrawGlyph(g, fonts, b, 0, x, 0, 8, false, 'I', 1);
    EXPECT_EQ(rowText(g, b, 0, 8), ".#######");
    EXPECT_EQ(rowText(g, b, 6, 8), ".#######");
    EXPECT_EQ(rowText(g, b, 7, 8), "........");
    // The next glyph replaces the spill with its own columns.
    DrawGlyph(g, fonts, b, 0, x, 0, 8, false, 'I', 0);
    EXPECT_EQ(rowText(g, b, 0, 10), ".#####....");
}

TEST_F(Glyphs, RowsOutsideTheBufferAreSkipped) {
    const SignGeometry g = sign(24, 16);
    int x = 8 * 25; // last hidden byte of the last row: its second byte would be byte 416
    DrawGlyph(g, fonts, b, 6, x, 15, 32, false, 'X', 0);
    EXPECT_EQ(b, FrameBuffer{});
    x = 8 * 24 + 3;
    DrawGlyph(g, fonts, b, 6, x, 15, 32, false, 'X', 0);
    EXPECT_EQ(b[15 * 26 + 24], 0x1F);
    EXPECT_EQ(b[15 * 26 + 25], 0xE0);
    x = 0;
    FrameBuffer before = b;
    DrawGlyph(g, fonts, b, 6, x, -20, 16, false, 'X', 0); // entirely above the buffer
    EXPECT_EQ(b, before);
    x = -3; // a pen left of the sign starts before byte 0 of row 0: the row is skipped
    DrawGlyph(g, fonts, b, 6, x, 0, 1, false, 'X', 0);
    EXPECT_EQ(b, before);
    EXPECT_EQ(x, 5);
}

TEST_F(Glyphs, UnloadedFontDrawsNothing) {
    const SignGeometry g = sign(1, 8);
    int x = 2;
    DrawGlyph(g, fonts, b, kIndexUserFont, x, 0, 8, true, 'A', 1);
    EXPECT_EQ(b, FrameBuffer{});
    EXPECT_EQ(x, 2);
}

struct PitchCase {
    int registers, height, pitch;
};

class LedPitchTable : public ::testing::TestWithParam<PitchCase> {};

TEST_P(LedPitchTable, FollowsTheWidthAndFitsTheBitmap) {
    const PitchCase c = GetParam();
    EXPECT_EQ(LedPitch(sign(c.registers, c.height)), c.pitch);
}

INSTANTIATE_TEST_SUITE_P(Geometries, LedPitchTable,
                         ::testing::Values(PitchCase{1, 8, 7}, PitchCase{7, 8, 7},
                                           PitchCase{8, 8, 14}, PitchCase{12, 8, 9},
                                           PitchCase{24, 8, 4}, PitchCase{13, 16, 7},
                                           PitchCase{14, 16, 7}, PitchCase{18, 16, 6},
                                           PitchCase{20, 16, 5}, PitchCase{24, 16, 4}),
                         [](const auto& info) {
                             return "W" + std::to_string(info.param.registers) + "H" +
                                    std::to_string(info.param.height);
                         });

TEST(RenderLeds, SquaresWithBlackGapsAndNothingOutsideTheSign) {
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{{12, 8}, {24, 16}, {1, 8}}) {
        SCOPED_TRACE(w * 100 + h);
        const SignGeometry g = sign(w, h);
        const int p = LedPitch(g);
        FrameBuffer b{};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < 8 * w; ++x) SetPixel(g, b, x, y, (x + y) % 3 == 0);
        b[w] = 0xFF; // hidden byte: never painted
        LedBitmap bmp;
        RenderLeds(g, b, bmp);
        for (int py = 0; py < kLedBitmapHeight; ++py) {
            for (int px = 0; px < kLedBitmapWidth; ++px) {
                const int x = px / p, y = py / p;
                std::uint32_t want = kLedGap;
                if (x < 8 * w && y < h && px % p != p - 1 && py % p != p - 1)
                    want = (x + y) % 3 == 0 ? kLedOn : kLedOff;
                if (bmp.at(px, py) != want) {
                    ADD_FAILURE() << "pixel " << px << "," << py << " is " << std::hex
                                  << bmp.at(px, py) << " not " << want;
                    return;
                }
            }
        }
    }
}

namespace {

/// The LED picture painted the plain way, pixel by pixel from the LED each pixel belongs to.
std::vector<std::uint32_t> referenceLeds(const SignGeometry& g, const FrameBuffer& b) {
    std::vector<std::uint32_t> px(std::size_t(kLedBitmapWidth) * kLedBitmapHeight, kLedGap);
    const int p = LedPitch(g);
    for (int py = 0; py < g.height * p; ++py)
        for (int pxl = 0; pxl < g.pixelWidth() * p; ++pxl)
            if (pxl % p != p - 1 && py % p != p - 1)
                px[std::size_t(py) * kLedBitmapWidth + pxl] =
                    GetPixel(g, b, pxl / p, py / p) ? kLedOn : kLedOff;
    return px;
}

/// True when every pixel that differs between the two pictures lies inside `area`.
bool changesInside(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b,
                   const LedArea& area) {
    for (int y = 0; y < kLedBitmapHeight; ++y)
        for (int x = 0; x < kLedBitmapWidth; ++x) {
            const std::size_t i = std::size_t(y) * kLedBitmapWidth + x;
            const bool inside = x >= area.x && x < area.x + area.width && y >= area.y &&
                                y < area.y + area.height;
            if (a[i] != b[i] && !inside) return false;
        }
    return true;
}

} // namespace

// Random frames at random geometries, each followed by a few small edits the way effect steps
// make them: the full painting and the painting of changes both give the plain picture, and
// the area reported holds every pixel that changed; an unchanged frame paints nothing.
TEST(RenderLeds, EqualsThePlainPaintingOnRandomFramesAndChanges) {
    std::mt19937 random(14);
    for (int round = 0; round < 120; ++round) {
        const int w = int(random() % 24) + 1;
        // Now and then 4 rows, whose larger pitch takes the painter of any pitch.
        const int h = std::array{8, 16, 8, 16, 4}[random() % 5];
        SCOPED_TRACE("round " + std::to_string(round) + ": " + std::to_string(w) + "x" +
                     std::to_string(h));
        const SignGeometry g = sign(w, h);
        FrameBuffer b{};
        for (auto& byte : b) byte = std::uint8_t(random());
        LedBitmap fresh;
        RenderLeds(g, b, fresh);
        ASSERT_EQ(fresh.pixels, referenceLeds(g, b));
        EXPECT_EQ(fresh.usedArea(), (LedArea{0, 0, 8 * w * LedPitch(g), h * LedPitch(g)}));

        LedBitmap bmp;
        // From a bitmap showing another sign, the whole sign is painted.
        RenderLeds(sign(w % 24 + 1, h == 8 ? 16 : 8), FrameBuffer{}, bmp);
        bmp.fillBlack();
        const LedArea whole = RenderChangedLeds(g, b, bmp);
        EXPECT_EQ(whole, bmp.usedArea());
        ASSERT_EQ(bmp.pixels, fresh.pixels);
        EXPECT_TRUE(RenderChangedLeds(g, b, bmp).empty());
        for (int edit = 0; edit < 6; ++edit) {
            const std::vector<std::uint32_t> before = bmp.pixels;
            const int bytes = edit == 0 ? 0 : int(random() % 8) + 1;
            for (int i = 0; i < bytes; ++i)
                b[random() % std::size_t(h * g.stride)] ^= std::uint8_t(random() | 1);
            const LedArea area = RenderChangedLeds(g, b, bmp);
            const std::vector<std::uint32_t> want = referenceLeds(g, b);
            ASSERT_EQ(bmp.pixels, want) << "edit " << edit;
            EXPECT_TRUE(changesInside(before, want, area)) << "edit " << edit;
            EXPECT_TRUE(before != want || area.empty()) << "edit " << edit;
        }
    }
}
