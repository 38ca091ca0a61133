#include "pixbar.h"

#include <algorithm>
#include <cstring>

namespace pixbar {

namespace {

/// Byte range of rows first..end-1, clamped to the buffer.
std::pair<int, int> rowBytes(const SignGeometry& g, int first, int end) {
    const int from = std::clamp(first * g.stride, 0, kFrameBufferSize);
    const int to = std::clamp(end * g.stride, 0, kFrameBufferSize);
    return {from, std::max(from, to)};
}

} // namespace

void ClearRows(const SignGeometry& g, FrameBuffer& buf, int first, int end) {
    const auto [from, to] = rowBytes(g, first, end);
    std::fill(buf.begin() + from, buf.begin() + to, std::uint8_t{0});
}

void InvertRows(const SignGeometry& g, FrameBuffer& buf, int first, int end) {
    const auto [from, to] = rowBytes(g, first, end);
    for (int i = from; i < to; ++i) buf[i] = std::uint8_t(~buf[i]);
}

int GetPixel(const SignGeometry& g, const FrameBuffer& buf, int x, int y) {
    if (x < 0 || y < 0 || x >= 8 * g.stride) return 0;
    const int at = y * g.stride + x / 8;
    if (at >= kFrameBufferSize) return 0;
    return (buf[at] >> (7 - x % 8)) & 1;
}

void SetPixel(const SignGeometry& g, FrameBuffer& buf, int x, int y, int value) {
    if (x < 0 || y < 0 || x >= g.pixelWidth() || y >= g.height) return;
    std::uint8_t& b = buf[y * g.stride + x / 8];
    const auto bit = std::uint8_t(0x80 >> (x % 8));
    b = (value & 1) ? std::uint8_t(b | bit) : std::uint8_t(b & ~bit);
}

void CopyRows(const SignGeometry& g, FrameBuffer& dst, int byteOffset, int dy, int first, int end,
              const FrameBuffer& src) {
    for (int i = 0; i < g.height; ++i) {
        const int j = i + dy;
        if (j < first || j >= end) continue;
        for (int k = 0; k < g.width; ++k) {
            const int to = j * g.stride + byteOffset + k;
            if (to >= 0 && to < kFrameBufferSize) dst[to] = src[i * g.stride + k];
        }
    }
}

void ShiftRowsLeft(const SignGeometry& g, FrameBuffer& buf, int first, int end) {
    first = std::max(first, 0);
    end = std::min(end, kFrameBufferSize / g.stride);
    for (int y = first; y < end; ++y) {
        std::uint8_t* row = buf.data() + y * g.stride;
        std::uint8_t carry = 0;
        for (int b = g.stride - 1; b >= 0; --b) {
            const std::uint8_t next = row[b] >> 7;
            row[b] = std::uint8_t((row[b] << 1) | carry);
            carry = next;
        }
    }
}

void DrawGlyph(const SignGeometry& g, const FontTable& fonts, FrameBuffer& buf, int fontIndex,
               int& x, int y, int endRow, bool spacing, std::uint8_t code, int format) {
    if (fontIndex == kIndexGraphicSymbols || fontIndex == kIndexSymbolFont)
        spacing = false;
    else
        code = MapPolishLetter(code);
    const FontEntry& font = fonts[fontIndex & 0x0F];
    const int w = std::min<int>(font.width, 8);
    const int rows = std::max(0, std::min<int>(font.height, endRow - y));
    const auto m = std::uint8_t(0xFF << (8 - w));

    // A glyph whose first column is lit never starts right after a lit pixel of the same row.
    for (bool moved = spacing; moved;) {
        moved = false;
        for (int r = 0; r < rows && !moved; ++r) {
            if ((font.row(code, r) & 0x80) && GetPixel(g, buf, x - 1, y + r)) {
                ++x;
                moved = true;
            }
        }
    }

    // Floor division keeps a pen left of the sign from shifting by a negative amount.
    const int col = x >= 0 ? x / 8 : -((-x + 7) / 8);
    const int n = x - col * 8;
    const int p0 = y * g.stride + col;
    const auto m1 = std::uint8_t(m >> n);
    const auto m2 = std::uint8_t(m << (8 - n));
    for (int r = 0; r < rows; ++r) {
        auto bits = font.row(code, r);
        if (format & 1) bits = std::uint8_t(~bits);
        const auto first = std::uint8_t(bits >> n);
        const auto second = std::uint8_t(bits << (8 - n));
        const int p = p0 + r * g.stride;
        if (p < 0 || p + 1 >= kFrameBufferSize) continue;
        buf[p] = std::uint8_t((buf[p] & ~m1) | first);
        buf[p + 1] = std::uint8_t((buf[p + 1] & ~m2) | second);
    }
    x += font.width;
}

int LedPitch(const SignGeometry& g) {
    int p = 955 / g.pixelWidth();
    if (p * g.height > kLedBitmapHeight) p = 7;
    return p;
}

void RenderLeds(const SignGeometry& g, const FrameBuffer& buf, LedBitmap& bitmap) {
    const int p = LedPitch(g);
    const int led = p - 1;
    std::uint32_t* const base = bitmap.pixels.data();
    for (int y = 0; y < g.height; ++y) {
        // Paint the first line of this LED row, then copy it to the other lines of the row.
        std::uint32_t* const first = base + std::size_t(y) * p * kLedBitmapWidth;
        std::uint32_t* out = first;
        const std::uint8_t* row = buf.data() + y * g.stride;
        for (int b = 0; b < g.width; ++b) {
            const std::uint8_t bits = row[b];
            for (int bit = 7; bit >= 0; --bit) {
                const std::uint32_t colour = (bits >> bit) & 1 ? kLedOn : kLedOff;
                std::fill_n(out, led, colour);
                out += p;
            }
        }
        const std::size_t span = std::size_t(g.pixelWidth()) * p - 1;
        for (int i = 1; i < led; ++i)
            std::memcpy(first + std::size_t(i) * kLedBitmapWidth, first,
                        span * sizeof(std::uint32_t));
    }
}

void InitFrame(Emulator& emu) {
    emu.geometry.stride = std::uint16_t(emu.geometry.width + 2);
    emu.frame.fill(0);
    emu.counters.reset();
}

FileResult InitEmulator(Emulator& emu) {
    emu.glyphs.InitFonts();
    InitFrame(emu);
    return emu.glyphs.LoadSymbolTable();
}

} // namespace pixbar
