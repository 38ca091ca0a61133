// A built-in font file (*.fnt) of any length in any of the thirteen slots: the font table is
// rebuilt from it and every code is drawn on signs of both heights.
#include "fuzzsupport.h"

#include "glyphs.h"
#include "pixbar.h"

#include <vector>

using namespace pixbar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Reader in(data, size);
    const int slot = in.u8() % kBuiltInFontCount;
    const std::uint8_t drawWith = in.u8();
    const auto font = in.rest();
    const auto file = fuzz::ScratchDir() / "input.fnt";
    fuzz::WriteFile(file, font);

    GlyphSets glyphs;
    fuzz::Check(glyphs.LoadBuiltInFont(file, slot).ok(), "a readable font file was refused");
    glyphs.InitFonts();
    const int index = kBuiltInFonts[slot].tableIndex;
    fuzz::Check(glyphs.entry(index).dataSize == font.size(), "the font is not the whole file");

    for (const SignGeometry g : {SignGeometry{3, 8, 5}, SignGeometry{16, 16, 18}}) {
        FrameBuffer frame{};
        int x = -int(drawWith % 16);
        for (int code = 0; code < 256; ++code)
            DrawGlyph(g, glyphs.table(), frame, index, x, int(drawWith % 5) - 2, g.height,
                      (drawWith & 0x80) != 0, MapPolishLetter(std::uint8_t(code)), code & 1);
    }
    std::vector<std::uint32_t> pixels(40 * 20);
    std::string text;
    for (int c = 1; c < 256; ++c) text.push_back(char(c));
    DrawTextPreview(glyphs.entry(index), Image32{pixels.data(), 40, 20, 40}, 1, 0, 0, text);
    return 0;
}
