#pragma once

#include "glyphs.h"
#include "timing.h"

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace pixbar {

inline constexpr int kMaxRegisters = 24;
inline constexpr int kMaxHeight = 16;
inline constexpr int kFrameBufferSize = 416; ///< 16 rows of 26 bytes: the largest sign
inline constexpr int kLedBitmapWidth = 960;
inline constexpr int kLedBitmapHeight = 112;
inline constexpr int kLedImageHeight = 132; ///< ImageLinijka: the bitmap between 10-pixel margins
inline constexpr int kLedImageTop = 10;
inline constexpr std::uint32_t kLedOn = 0x00FF2F2F;
inline constexpr std::uint32_t kLedOff = 0x002F2F2F;
inline constexpr std::uint32_t kLedGap = 0x00000000;

/// Width W in registers (1..24), height H (8 or 16) and the row stride S = W + 2.
struct SignGeometry {
    std::uint16_t width = 1;
    std::uint16_t height = 8;
    std::uint16_t stride = 3;

    int pixelWidth() const { return 8 * width; }
    void set(int registers, int pixels) {
        width = std::uint16_t(registers);
        height = std::uint16_t(pixels);
        stride = std::uint16_t(registers + 2);
    }
};

/// One bit per LED; each row has W visible bytes and two hidden ones to the right.
using FrameBuffer = std::array<std::uint8_t, kFrameBufferSize>;
using ScratchBuffer = FrameBuffer;

/// A rectangle of the LED bitmap in its pixels; empty when width or height is 0.
struct LedArea {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool empty() const { return width <= 0 || height <= 0; }
    /// The smallest rectangle holding both.
    LedArea united(const LedArea& other) const;
    bool operator==(const LedArea&) const = default;
};

/// The 960 x 112 picture of the LEDs, 0x00RRGGBB pixels. It remembers which frame it shows,
/// so that a later painting redraws only the LEDs that changed.
struct LedBitmap {
    std::vector<std::uint32_t> pixels =
        std::vector<std::uint32_t>(std::size_t(kLedBitmapWidth) * kLedBitmapHeight, kLedGap);

    /// Black everywhere, showing no frame.
    void fillBlack() {
        std::fill(pixels.begin(), pixels.end(), kLedGap);
        showing = false;
        changed = {};
    }
    std::uint32_t at(int x, int y) const { return pixels[std::size_t(y) * kLedBitmapWidth + x]; }
    Image32 image() { return {pixels.data(), kLedBitmapWidth, kLedBitmapHeight, kLedBitmapWidth}; }
    /// The part of the bitmap the shown sign covers; every pixel outside it is black.
    LedArea usedArea() const;
    /// The area painted since the last call, and forgets it.
    LedArea takeChanged() { return std::exchange(changed, LedArea{}); }

    bool showing = false;       ///< `shown` and `shownGeometry` describe the pixels
    SignGeometry shownGeometry; ///< geometry of the last painting
    FrameBuffer shown{};        ///< the frame of the last painting
    LedArea changed;            ///< painted and not yet taken
    /// Bitmap line of each byte value at the shown pitch: 8 LEDs with their gaps.
    std::vector<std::uint32_t> byteLines;
    int byteLinesPitch = 0;
};

/// Frame buffer operations on the sign's geometry; all coordinates are signed 16-bit values.
void ClearRows(const SignGeometry& g, FrameBuffer& buf, int first, int end);
void InvertRows(const SignGeometry& g, FrameBuffer& buf, int first, int end);
int GetPixel(const SignGeometry& g, const FrameBuffer& buf, int x, int y);
void SetPixel(const SignGeometry& g, FrameBuffer& buf, int x, int y, int value);
void CopyRows(const SignGeometry& g, FrameBuffer& dst, int byteOffset, int dy, int first, int end,
              const FrameBuffer& src);
void ShiftRowsLeft(const SignGeometry& g, FrameBuffer& buf, int first, int end);

/// Draws glyph `code` of table entry `fontIndex` at (x, y), clipped at `endRow`; advances x.
void DrawGlyph(const SignGeometry& g, const FontTable& fonts, FrameBuffer& buf, int fontIndex,
               int& x, int y, int endRow, bool spacing, std::uint8_t code, int format);

/// Side of one LED square plus its gap, in bitmap pixels.
int LedPitch(const SignGeometry& g);
/// Paints the visible part of the frame buffer as LEDs into the bitmap.
void RenderLeds(const SignGeometry& g, const FrameBuffer& buf, LedBitmap& bitmap);
/// Paints only the LEDs whose bytes differ from the frame the bitmap shows (all of them when
/// it shows none or another geometry); returns the area painted, empty when nothing changed.
LedArea RenderChangedLeds(const SignGeometry& g, const FrameBuffer& buf, LedBitmap& bitmap);

/// The state the emulated sign keeps for the whole program.
struct Emulator {
    GlyphSets glyphs;
    SignGeometry geometry;
    FrameBuffer frame{};
    ScratchBuffer scratch{};
    LedBitmap bitmap;
    TickCounters counters; ///< the player's step delays and display time, counted down by the tick
};

/// Frame half of InitEmulator: stride from the width, frame buffer cleared, the upper step
/// delay and the display time set to 0.
void InitFrame(Emulator& emu);
/// Rebuilds the font table and the frame for the current geometry, then loads the symbol
/// table; the result names the symbol file when it cannot be used.
FileResult InitEmulator(Emulator& emu);

} // namespace pixbar
