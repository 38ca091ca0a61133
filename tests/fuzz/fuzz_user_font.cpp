// A user font (*.fnd) of any header and length: loaded, then every code drawn from it into
// the frame buffer of a small and a large sign and into a preview canvas.
#include "fuzzsupport.h"

#include "glyphs.h"
#include "pixbar.h"

#include <vector>

using namespace pixbar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto file = fuzz::ScratchDir() / "input.fnd";
    fuzz::WriteFile(file, {data, size});

    GlyphSets glyphs;
    glyphs.InitFonts();
    const FileResult r = glyphs.LoadUserFont(file);
    const bool headerOk =
        size >= 4 && data[0] == 12 && data[1] == 0 && data[2] == 0 && data[3] == 0;
    fuzz::Check(r.ok() == headerOk, "a user font was taken or refused against its header");
    if (!r.ok()) {
        fuzz::Check(glyphs.entry(kIndexUserFont).data == nullptr, "a refused font is in use");
        return 0;
    }
    const FontEntry& font = glyphs.entry(kIndexUserFont);
    fuzz::Check(font.dataSize <= (size > 12 ? size - 12 : 0), "font reaches past its file");

    std::vector<std::uint32_t> pixels(64 * 32);
    Image32 canvas{pixels.data(), 64, 32, 64};
    // The font menu's sample line: a few characters, as a header may claim thousands of rows.
    DrawTextPreview(font, canvas, 0xFFFFFF, -3, -2,
                    std::string{char(data[size / 2]), 'A', '\xb9', char(size), 'z'});

    for (const SignGeometry g : {SignGeometry{1, 8, 3}, SignGeometry{24, 16, 26}}) {
        FrameBuffer frame{};
        int x = -8;
        for (int code = 0; code < 256; ++code)
            DrawGlyph(g, glyphs.table(), frame, kIndexUserFont, x, 0, g.height, code % 2 == 0,
                      std::uint8_t(code), code % 3);
    }
    return 0;
}
