// Importing a picture as a graphic symbol: a picture of any size (up to past what the staging
// holds) and pixels, converted to columns and placed anywhere in a table of any height. The
// staged columns are checked pixel by pixel against the picture.
#include "fuzzsupport.h"

#include "glyphs.h"
#include "symboltable.h"

#include <vector>

using namespace pixbar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Reader in(data, size);
    PixelGrid picture;
    picture.width = in.u16() % 9000; // past the 8192 pixels the staging holds
    picture.height = in.u8() % 40;
    const unsigned start = in.u8();
    const std::uint8_t tableHeight = in.u8() % 20;
    const std::uint16_t glyphCount = in.u16();
    const auto pixels = in.rest();
    picture.lit.resize(std::size_t(picture.width) * picture.height);
    // The input's bits, repeated to fill the picture.
    for (std::size_t i = 0; i < picture.lit.size() && !pixels.empty(); ++i)
        picture.lit[i] = (pixels[(i / 8) % pixels.size()] >> (i % 8)) & 1;

    ImportStaging staging;
    const bool taken = ConvertPicture(picture, staging);
    const int columns = (picture.width + 7) / 8;
    const bool empty = picture.width == 0 || picture.height == 0;
    fuzz::Check(taken == (empty || columns <= kStagingMaxColumns),
                "picture refused or taken wrongly");
    if (taken && !empty) {
        fuzz::Check(staging.columns == columns, "wrong number of columns");
        fuzz::Check(staging.count == std::size_t(columns) * kStagingColumnBytes, "wrong count");
        for (int x = 0; x < columns * 8; ++x)
            for (int y = 0; y < int(kStagingColumnBytes); ++y) {
                const bool lit = x < picture.width && y < picture.height && picture.at(x, y);
                const std::uint8_t b = staging.bytes[std::size_t(x / 8) * kStagingColumnBytes + y];
                fuzz::Check(((b >> (7 - x % 8)) & 1) == lit, "a staged pixel differs");
            }
    }

    GlyphSets glyphs;
    HeadedImage& image = glyphs.symbolTableImage();
    const std::uint8_t header[] = {12,
                                   0,
                                   0,
                                   0,
                                   8,
                                   0,
                                   tableHeight,
                                   0,
                                   0,
                                   0,
                                   std::uint8_t(glyphCount),
                                   std::uint8_t(glyphCount >> 8)};
    std::copy(std::begin(header), std::end(header), image.bytes.begin());
    image.size = kHeadedHeaderSize + std::size_t(tableHeight) * 64;
    glyphs.refreshSymbolEntry();
    SymbolTable table(glyphs);
    const SymbolMap before = glyphs.symbolMap();
    const PlaceResult placed = table.place(start, staging);
    if (placed != PlaceResult::Placed) {
        fuzz::Check(glyphs.symbolMap() == before, "a refused symbol changed the map");
    } else if (staging.columns > 0) {
        fuzz::Check(start >= 1 && start + unsigned(staging.columns) <= kLastSymbolCode + 1,
                    "a symbol placed over codes 0, 255 or 256");
        fuzz::Check(table.find(start) == (SymbolSpan{start, unsigned(staging.columns)}),
                    "the placed symbol is not found");
    }
    return 0;
}
