#pragma once

#include "glyphs.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pixbar {

using SymbolMap = std::array<std::uint8_t, kSymbolMapSize>;

/// The symbol table window shows the columns as 32 x 8 cells; cell i shows column code i + 1.
inline constexpr int kSymbolGridColumns = 32;
inline constexpr int kSymbolGridRows = 8;
inline constexpr int kSymbolGridCells = kSymbolGridColumns * kSymbolGridRows;
/// Cells 254 and 255 (codes 255 and 256) never hold a symbol column.
inline constexpr int kFirstUnavailableCell = 254;
inline constexpr unsigned kLastSymbolCode = 254;

/// One painted cell: every column pixel twice as wide and twice as high.
inline constexpr int kSymbolCellWidth = 16;
inline constexpr int kSymbolCellHeight = 32;
/// The window draws at most this many rows of a column.
inline constexpr int kMaxSymbolRows = 16;

inline constexpr std::uint32_t kCellLit = 0x00F00000;
inline constexpr std::uint32_t kCellUnlit = 0x00000000;
inline constexpr std::uint32_t kCellMarkedLit = 0x0000F000;
inline constexpr std::uint32_t kCellMarkedUnlit = 0x00404040;
inline constexpr std::uint32_t kCellUnavailable = 0x00241503;

/// A picture being imported is laid out as 16 bytes a column, at most 16384 bytes.
inline constexpr std::size_t kStagingSize = 16384;
inline constexpr std::size_t kStagingColumnBytes = 16;
inline constexpr int kStagingMaxColumns = int(kStagingSize / kStagingColumnBytes);

/// A symbol: `width` consecutive columns from code `start`; width 0 is no symbol.
struct SymbolSpan {
    unsigned start = 0;
    unsigned width = 0;

    bool found() const { return width > 0; }
    bool operator==(const SymbolSpan&) const = default;
};

/// The symbol that column `code` belongs to (start 0, width 0 when there is none).
SymbolSpan FindSymbol(const SymbolMap& map, unsigned code);

/// Code looked up for grid cell `cell` (0..255): cell + 1, and 0 for the last cell.
unsigned CellLookupCode(int cell);

/// Flags of the grid cells that show the columns of the symbol under `cell`.
std::array<bool, kSymbolGridCells> SymbolHighlight(const SymbolMap& map, int cell);

/// True when codes start .. start + count - 1 are all free in the map.
bool IsFreeRun(const SymbolMap& map, unsigned start, unsigned count);

/// A picture as plain pixels; a pixel is lit when it is any colour other than black.
struct PixelGrid {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> lit; ///< width x height, row by row; non-zero is lit

    bool at(int x, int y) const { return lit[std::size_t(y) * width + x] != 0; }
};

/// A picture converted into symbol columns: 16 bytes a column, bit 7 the leftmost pixel.
struct ImportStaging {
    std::array<std::uint8_t, kStagingSize> bytes{};
    std::size_t count = 0;
    int columns = 0;
    int rows = 0; ///< rows taken from the picture (at most 16)

    void clear() { *this = ImportStaging{}; }
};

/// Fills the staging from a picture: one column per 8 pixels (a narrower last column
/// included), at most its top 16 rows. A picture wider than the staging holds is refused
/// and leaves the staging empty.
bool ConvertPicture(const PixelGrid& picture, ImportStaging& staging);

enum class PlaceResult { Placed, NoRoom, Taken };

/// The graphic symbol table of font 13 and its map, as the symbol table window changes
/// them. Writes never reach past the loaded image, and a symbol never uses codes 255 or 256.
class SymbolTable {
public:
    explicit SymbolTable(GlyphSets& glyphs) : m_glyphs(glyphs) {}

    /// Rows per column (the table's glyph height).
    unsigned height() const;
    /// Number of glyph codes the table offers (its header's glyph count).
    unsigned glyphCount() const;
    /// One past the last code a symbol may use: limited by the glyph count, by the image
    /// and by the grid. 0 when the table's height is not 1..16.
    unsigned codeLimit() const;

    SymbolSpan find(unsigned code) const { return FindSymbol(m_glyphs.symbolMap(), code); }

    /// Places the staged columns as a symbol starting at `start`. Each column takes the
    /// table's height in rows of the staging's 16. Nothing changes unless it is placed.
    PlaceResult place(unsigned start, const ImportStaging& staging);
    /// Clears the columns of a symbol and frees them in the map.
    void remove(SymbolSpan symbol);
    /// The width x height bytes of a symbol, column after column.
    std::vector<std::uint8_t> columns(SymbolSpan symbol) const;
    /// Writes bytes column after column from code `start` (the editor's buffer).
    void writeColumns(unsigned start, const std::vector<std::uint8_t>& bytes);
    /// Font 13 follows the edited image; both symbol files are written.
    FileResult commit();

private:
    std::uint8_t* glyphByte(std::size_t offset);
    const std::uint8_t* glyphByte(std::size_t offset) const;

    GlyphSets& m_glyphs;
};

/// Paints grid cell `cell` into a 16 x 32 picture: each column pixel as 2 x 2 pixels, in
/// green and grey when marked, red and black otherwise; the two last cells are dark brown.
void PaintSymbolCell(const FontEntry& symbols, int cell, bool marked, Image32 canvas);

/// What the symbol editor's closing means for the table.
enum class EditorMode : std::uint8_t {
    New = 0,     ///< "Zaprojektuj nowy": the editor's picture stays its own
    Editing = 1, ///< an existing symbol is open
    NewDone = 2, ///< finished a picture that belongs to no symbol
    Save = 3,    ///< write the picture back to the symbol
    Discard = 4,
};

inline constexpr int kEditorZoom = 16;
inline constexpr std::uint32_t kEditorLit = 0x00FF0000;
inline constexpr std::uint32_t kEditorUnlit = 0x00800000;

/// The picture of one symbol in the editor: its columns one after another, H bytes each.
struct SymbolPicture {
    int pixelWidth = 0; ///< 8 x columns
    int height = 0;
    unsigned start = 0; ///< code of the symbol's first column
    std::vector<std::uint8_t> bytes;

    bool lit(int x, int y) const;
    /// Toggles the pixel at a press (x, y) in screen pixels of zoom `zoom`; false when the
    /// press is outside the picture.
    bool toggleAt(int x, int y, int zoom);
};

/// Paints the editor's picture: each pixel a (zoom - 1) square, red or dark red, with a
/// one-pixel black gap; the canvas is filled black first.
void PaintSymbolPicture(const SymbolPicture& picture, int zoom, Image32 canvas);

} // namespace pixbar
