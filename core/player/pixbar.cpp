#include "pixbar.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

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

namespace {

/// Builds the bitmap line of every byte value at pitch p: for each bit from bit 7, p - 1
/// pixels of the LED's colour and one black gap pixel.
void buildByteLines(LedBitmap& bitmap, int p) {
    if (bitmap.byteLinesPitch == p) return;
    const int span = 8 * p;
    bitmap.byteLines.assign(std::size_t(256) * span, kLedGap);
    for (int v = 0; v < 256; ++v) {
        std::uint32_t* out = bitmap.byteLines.data() + std::size_t(v) * span;
        for (int bit = 7; bit >= 0; --bit, out += p)
            std::fill_n(out, p - 1, (v >> bit) & 1 ? kLedOn : kLedOff);
    }
    bitmap.byteLinesPitch = p;
}

/// Paints bytes b0..b1-1 of frame row y: the first line of the LED row from the byte lines,
/// then copies of it for the other lines of the LEDs. The line below the LEDs stays black.
/// Pitch `Fixed`, or the bitmap's pitch of the byte lines when it is 0.
template <int Fixed>
void paintRow(const FrameBuffer& buf, const SignGeometry& g, LedBitmap& bitmap, int y, int b0,
              int b1) {
    const int P = Fixed != 0 ? Fixed : bitmap.byteLinesPitch;
    const int span = 8 * P;
    const std::uint8_t* row = buf.data() + y * g.stride;
    const std::uint32_t* lines = bitmap.byteLines.data();
    std::uint32_t* const first =
        bitmap.pixels.data() + std::size_t(y) * P * kLedBitmapWidth + std::size_t(b0) * span;
    std::uint32_t* out = first;
    for (int b = b0; b < b1; ++b, out += span)
        std::memcpy(out, lines + std::size_t(row[b]) * span, span * sizeof(std::uint32_t));
    const std::size_t bytes = std::size_t(b1 - b0) * span * sizeof(std::uint32_t);
    for (int i = 1; i < P - 1; ++i)
        std::memcpy(first + std::size_t(i) * kLedBitmapWidth, first, bytes);
}

using RowPainter = void (*)(const FrameBuffer&, const SignGeometry&, LedBitmap&, int, int, int);

/// Each pitch of a sign 8 or 16 rows high (2..14: 8 W P stays within 955 and P H within 112)
/// gets its own painter, so that the copies have a fixed length.
template <int... Ps>
constexpr std::array<RowPainter, sizeof...(Ps)> makePainters(std::integer_sequence<int, Ps...>) {
    return {&paintRow<Ps + 2>...};
}
constexpr auto kRowPainters = makePainters(std::make_integer_sequence<int, 13>{});

RowPainter rowPainter(int p) {
    return p >= 2 && p <= 14 ? kRowPainters[std::size_t(p - 2)] : &paintRow<0>;
}

LedArea rowsArea(int p, int y0, int y1, int b0, int b1) {
    return {b0 * 8 * p, y0 * p, (b1 - b0) * 8 * p, (y1 - y0) * p};
}

void remember(const SignGeometry& g, const FrameBuffer& buf, LedBitmap& bitmap) {
    bitmap.shown = buf;
    bitmap.shownGeometry = g;
    bitmap.showing = true;
}

} // namespace

LedArea LedArea::united(const LedArea& o) const {
    if (o.empty()) return *this;
    if (empty()) return o;
    const int left = std::min(x, o.x), top = std::min(y, o.y);
    const int right = std::max(x + width, o.x + o.width);
    const int bottom = std::max(y + height, o.y + o.height);
    return {left, top, right - left, bottom - top};
}

LedArea LedBitmap::usedArea() const {
    if (!showing) return {};
    const int p = LedPitch(shownGeometry);
    return rowsArea(p, 0, shownGeometry.height, 0, shownGeometry.width);
}

void RenderLeds(const SignGeometry& g, const FrameBuffer& buf, LedBitmap& bitmap) {
    const int p = LedPitch(g);
    buildByteLines(bitmap, p);
    const RowPainter paint = rowPainter(p);
    for (int y = 0; y < g.height; ++y) paint(buf, g, bitmap, y, 0, g.width);
    remember(g, buf, bitmap);
    bitmap.changed = bitmap.changed.united(bitmap.usedArea());
}

LedArea RenderChangedLeds(const SignGeometry& g, const FrameBuffer& buf, LedBitmap& bitmap) {
    const SignGeometry& was = bitmap.shownGeometry;
    if (!bitmap.showing || was.width != g.width || was.height != g.height ||
        was.stride != g.stride) {
        RenderLeds(g, buf, bitmap);
        return bitmap.usedArea();
    }
    const int p = LedPitch(g);
    buildByteLines(bitmap, p);
    const RowPainter paint = rowPainter(p);
    int y0 = g.height, y1 = 0, b0 = g.width, b1 = 0;
    for (int y = 0; y < g.height; ++y) {
        const std::size_t at = std::size_t(y) * g.stride;
        const std::uint8_t* now = buf.data() + at;
        std::uint8_t* before = bitmap.shown.data() + at;
        if (std::memcmp(now, before, g.width) == 0) continue;
        int first = 0, end = g.width;
        while (now[first] == before[first]) ++first;
        while (now[end - 1] == before[end - 1]) --end;
        paint(buf, g, bitmap, y, first, end);
        std::memcpy(before + first, now + first, std::size_t(end - first));
        y0 = std::min(y0, y);
        y1 = y + 1;
        b0 = std::min(b0, first);
        b1 = std::max(b1, end);
    }
    if (y1 == 0) return {};
    const LedArea area = rowsArea(p, y0, y1, b0, b1);
    bitmap.changed = bitmap.changed.united(area);
    return area;
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
