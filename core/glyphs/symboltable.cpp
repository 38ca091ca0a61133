#include "symboltable.h"

#include <algorithm>

namespace pixbar {

namespace {

void fill(Image32 canvas, std::uint32_t colour) {
    for (int y = 0; y < canvas.height; ++y)
        for (int x = 0; x < canvas.width; ++x) canvas.set(x, y, colour);
}

constexpr std::size_t kGlyphSpace = kHeadedImageSize - kHeadedHeaderSize;

} // namespace

SymbolSpan FindSymbol(const SymbolMap& map, unsigned code) {
    // Byte 0 of the map never belongs to a symbol: column codes start at 1.
    if (code == 0 || code >= map.size()) return {};
    if (map[code] != kSymbolMapContinues)
        return map[code] == 0 ? SymbolSpan{} : SymbolSpan{code, map[code]};
    for (unsigned c = code - 1; c >= 1; --c)
        if (map[c] != kSymbolMapContinues)
            return map[c] == 0 ? SymbolSpan{} : SymbolSpan{c, map[c]};
    return {};
}

unsigned CellLookupCode(int cell) {
    return cell >= 0 && cell < kSymbolGridCells - 1 ? unsigned(cell + 1) : 0;
}

std::array<bool, kSymbolGridCells> SymbolHighlight(const SymbolMap& map, int cell) {
    std::array<bool, kSymbolGridCells> flags{};
    const SymbolSpan s = FindSymbol(map, CellLookupCode(cell));
    for (unsigned c = s.start; c < s.start + s.width; ++c)
        if (c >= 1 && c <= unsigned(kSymbolGridCells)) flags[c - 1] = true;
    return flags;
}

bool IsFreeRun(const SymbolMap& map, unsigned start, unsigned count) {
    if (start + count > map.size()) return false;
    return std::all_of(map.begin() + start, map.begin() + start + count,
                       [](std::uint8_t b) { return b == 0; });
}

bool ConvertPicture(const PixelGrid& picture, ImportStaging& staging) {
    staging.clear();
    if (picture.width <= 0 || picture.height <= 0) return true;
    const int columns = picture.width / 8 + (picture.width % 8 != 0 ? 1 : 0);
    if (columns > kStagingMaxColumns) return false;
    const int rows = std::min(picture.height, int(kStagingColumnBytes));
    for (int i = 0; i < columns; ++i) {
        for (int j = 0; j < rows; ++j) {
            std::uint8_t byte = 0;
            for (int k = 0; k < 8 && 8 * i + k < picture.width; ++k)
                if (picture.at(8 * i + k, j)) byte |= std::uint8_t(0x80 >> k);
            staging.bytes[staging.count++] = byte;
        }
        staging.count += kStagingColumnBytes - std::size_t(rows); // the rows below stay 0
    }
    staging.columns = columns;
    staging.rows = rows;
    return true;
}

unsigned SymbolTable::height() const {
    const auto& image = m_glyphs.symbolTableImage().bytes;
    return unsigned(image[6]) | unsigned(image[7]) << 8;
}

unsigned SymbolTable::glyphCount() const {
    const auto& image = m_glyphs.symbolTableImage().bytes;
    return unsigned(image[10]) | unsigned(image[11]) << 8;
}

unsigned SymbolTable::codeLimit() const {
    const unsigned h = height();
    if (h == 0 || h > unsigned(kMaxSymbolRows)) return 0;
    return std::min({glyphCount(), kLastSymbolCode + 1, unsigned(kGlyphSpace / h)});
}

std::uint8_t* SymbolTable::glyphByte(std::size_t offset) {
    return offset < kGlyphSpace ? &m_glyphs.symbolTableImage().bytes[kHeadedHeaderSize + offset]
                                : nullptr;
}

const std::uint8_t* SymbolTable::glyphByte(std::size_t offset) const {
    return offset < kGlyphSpace ? &m_glyphs.symbolTableImage().bytes[kHeadedHeaderSize + offset]
                                : nullptr;
}

PlaceResult SymbolTable::place(unsigned start, const ImportStaging& staging) {
    const unsigned n = unsigned(staging.columns);
    if (n == 0) return PlaceResult::Placed;
    if (start == 0 || start + n > codeLimit()) return PlaceResult::NoRoom;
    SymbolMap& map = m_glyphs.symbolMap();
    if (!IsFreeRun(map, start, n)) return PlaceResult::Taken;

    const unsigned h = height();
    for (unsigned i = 0; i < n; ++i)
        for (unsigned r = 0; r < h; ++r)
            *glyphByte(std::size_t(start + i) * h + r) = staging.bytes[i * kStagingColumnBytes + r];
    // Columns past the end of a short file become part of it, so that saving keeps them.
    HeadedImage& image = m_glyphs.symbolTableImage();
    image.size = std::max(image.size, kHeadedHeaderSize + std::size_t(start + n) * h);

    map[start] = std::uint8_t(n);
    for (unsigned c = start + 1; c < start + n; ++c) map[c] = kSymbolMapContinues;
    return PlaceResult::Placed;
}

void SymbolTable::remove(SymbolSpan symbol) {
    if (!symbol.found()) return;
    const unsigned h = height();
    for (std::size_t i = 0; i < std::size_t(symbol.width) * h; ++i)
        if (std::uint8_t* b = glyphByte(std::size_t(symbol.start) * h + i)) *b = 0;
    SymbolMap& map = m_glyphs.symbolMap();
    for (unsigned c = symbol.start; c < symbol.start + symbol.width && c < map.size(); ++c)
        map[c] = 0;
}

std::vector<std::uint8_t> SymbolTable::columns(SymbolSpan symbol) const {
    const unsigned h = height();
    std::vector<std::uint8_t> bytes(std::size_t(symbol.width) * h);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (const std::uint8_t* b = glyphByte(std::size_t(symbol.start) * h + i)) bytes[i] = *b;
    return bytes;
}

void SymbolTable::writeColumns(unsigned start, const std::vector<std::uint8_t>& bytes) {
    const std::size_t first = std::size_t(start) * height();
    std::size_t written = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (std::uint8_t* b = glyphByte(first + i)) {
            *b = bytes[i];
            written = i + 1;
        }
    if (written == 0) return;
    HeadedImage& image = m_glyphs.symbolTableImage();
    image.size = std::max(image.size, kHeadedHeaderSize + first + written);
}

FileResult SymbolTable::commit() {
    m_glyphs.refreshSymbolEntry();
    return m_glyphs.SaveSymbolTable();
}

void PaintSymbolCell(const FontEntry& symbols, int cell, bool marked, Image32 canvas) {
    fill(canvas, kCellUnlit);
    if (cell >= kFirstUnavailableCell) {
        fill(canvas, kCellUnavailable);
        return;
    }
    const std::uint32_t on = marked ? kCellMarkedLit : kCellLit;
    const std::uint32_t off = marked ? kCellMarkedUnlit : kCellUnlit;
    const unsigned code = unsigned(cell + 1);
    const int rows = std::min<int>(symbols.height, kMaxSymbolRows);
    for (int m = 0; m < 2 * rows; ++m) {
        const std::uint8_t g = symbols.row(code, unsigned(m / 2));
        for (int k = 0; k < 8; ++k) {
            const std::uint32_t colour = (g & (0x80 >> k)) ? on : off;
            canvas.set(2 * k, m, colour);
            canvas.set(2 * k + 1, m, colour);
        }
    }
}

bool SymbolPicture::lit(int x, int y) const {
    if (x < 0 || y < 0 || x >= pixelWidth || y >= height) return false;
    const std::size_t at = std::size_t(y) + std::size_t(x / 8) * height;
    return at < bytes.size() && (bytes[at] & (0x80 >> (x % 8))) != 0;
}

bool SymbolPicture::toggleAt(int x, int y, int zoom) {
    if (x < 0 || y < 0 || zoom <= 0) return false;
    const int px = x / zoom;
    const int py = y / zoom;
    if (px >= pixelWidth || py >= height) return false;
    const std::size_t at = std::size_t(py) + std::size_t(px / 8) * height;
    if (at >= bytes.size()) return false;
    bytes[at] ^= std::uint8_t(0x80 >> (px % 8));
    return true;
}

void PaintSymbolPicture(const SymbolPicture& picture, int zoom, Image32 canvas) {
    fill(canvas, 0);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.pixelWidth; ++x) {
            const std::uint32_t colour = picture.lit(x, y) ? kEditorLit : kEditorUnlit;
            for (int dy = 0; dy < zoom - 1; ++dy)
                for (int dx = 0; dx < zoom - 1; ++dx)
                    canvas.set(x * zoom + dx, y * zoom + dy, colour);
        }
}

} // namespace pixbar
