// gfx_symbols.bin and gfx_symbols_map.bin of any content: loaded as at start-up, every cell
// painted and looked up, symbols placed, changed and removed as the symbol table window does,
// and the pair saved and loaded again unchanged.
#include "fuzzsupport.h"

#include "glyphs.h"
#include "symboltable.h"

#include <vector>

using namespace pixbar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Reader in(data, size);
    const std::uint8_t operations = in.u8();
    const std::uint8_t mapSize = in.u8(); // a map file may be short
    const auto map = in.bytes(mapSize == 255 ? 256 : mapSize);
    const auto table = in.rest();
    const auto& dir = fuzz::ScratchDir();
    fuzz::WriteFile(dir / kSymbolTableFile, table);
    fuzz::WriteFile(dir / kSymbolMapFile, map);

    GlyphSets glyphs;
    glyphs.setStartDirectory(dir);
    glyphs.InitFonts();
    if (!glyphs.LoadSymbolTable()) return 0;

    std::vector<std::uint32_t> pixels(kSymbolCellWidth * kSymbolCellHeight);
    const Image32 cell{pixels.data(), kSymbolCellWidth, kSymbolCellHeight, kSymbolCellWidth};
    for (int i = 0; i < kSymbolGridCells; ++i) {
        PaintSymbolCell(glyphs.entry(kIndexGraphicSymbols), i, i % 2 == 0, cell);
        SymbolHighlight(glyphs.symbolMap(), i);
        const SymbolSpan s = FindSymbol(glyphs.symbolMap(), unsigned(i));
        fuzz::Check(!s.found() || (s.start >= 1 && s.start <= unsigned(i)),
                    "a symbol starts after the column it was found under");
    }

    SymbolTable symbols(glyphs);
    ImportStaging staging;
    PixelGrid picture{int(operations % 40), int(operations % 19), {}};
    picture.lit.assign(std::size_t(picture.width) * picture.height, 1);
    ConvertPicture(picture, staging);
    // A header may claim thousands of rows a column; such a table is edited at one place only.
    const unsigned step = symbols.height() <= unsigned(kMaxSymbolRows) ? 37 : 256;
    for (unsigned start = operations % 7; start < 256; start += step) {
        symbols.place(start, staging);
        const SymbolSpan s = symbols.find(start + 1);
        std::vector<std::uint8_t> bytes = symbols.columns(s);
        for (auto& b : bytes) b ^= 0x5A;
        symbols.writeColumns(s.start, bytes);
        if (operations & 1) symbols.remove(symbols.find(start));
    }
    SymbolPicture editor{8, int(symbols.height()), 1, symbols.columns({1, 1})};
    editor.toggleAt(int(operations) * 3, int(operations), kEditorZoom);

    if (!symbols.commit()) return 0;
    GlyphSets again;
    again.setStartDirectory(dir);
    again.InitFonts();
    fuzz::Check(again.LoadSymbolTable().ok(), "a saved symbol table does not load");
    fuzz::Check(again.symbolTableImage().size == glyphs.symbolTableImage().size &&
                    again.symbolTableImage().bytes == glyphs.symbolTableImage().bytes &&
                    again.symbolMap() == glyphs.symbolMap(),
                "the saved symbol table reads back different");
    return 0;
}
