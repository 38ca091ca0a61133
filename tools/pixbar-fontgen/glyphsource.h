#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fontgen {

/// Pixel values of a drawing: unlit, a letter's body, a diacritic mark.
enum class Ink : std::uint8_t { Off = 0, Body = 1, Mark = 2 };

/// One glyph as a grid of pixels, x from the left, y from the top.
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<Ink> pixels;

    Bitmap() = default;
    Bitmap(int w, int h) : width(w), height(h), pixels(std::size_t(w) * h, Ink::Off) {}

    /// The pixel at (x, y); Off outside the grid.
    Ink at(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return Ink::Off;
        return pixels[std::size_t(y) * width + x];
    }
    bool lit(int x, int y) const { return at(x, y) != Ink::Off; }
    bool body(int x, int y) const { return at(x, y) == Ink::Body; }
    bool mark(int x, int y) const { return at(x, y) == Ink::Mark; }
    /// Sets a pixel; pixels outside the grid are dropped. A body pixel is never turned into a mark.
    void set(int x, int y, Ink v) {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        Ink& p = pixels[std::size_t(y) * width + x];
        if (v == Ink::Mark && p == Ink::Body) return;
        p = v;
    }
    bool blank() const;
    /// First and last lit rows; -1 when blank.
    int topRow() const;
    int bottomRow() const;
};

/// One text source of data/: a glyph set drawn by hand, derived from another, or both.
struct GlyphSource {
    std::filesystem::path file;
    std::string id;
    std::string output;           ///< file written into the build folder; empty for a base-only set
    std::string mapOutput;        ///< symbol map written beside a headed symbol table
    int width = 8;                ///< glyph width (1..8)
    int height = 8;               ///< glyph height = bytes a glyph (1..16)
    int count = 128;              ///< glyphs in the written file
    bool headed = false;          ///< 12-byte header of user fonts and the symbol table
    int reserved = 0;             ///< header word kept for the sign
    std::string deriveFrom;       ///< id of the base set
    std::string style;            ///< style applied to every glyph of the base
    std::map<int, Bitmap> glyphs; ///< drawn glyphs, by glyph code
    std::map<int, std::vector<std::string>> segments; ///< segment names, by glyph code
    std::array<std::uint8_t, 256> symbolMap{};        ///< columns taken by multi-glyph pictures
};

/// Glyph code of a character name: one ASCII character, one of the 18 Polish letters
/// (codes 1..18), "space", or a number like 0x41; -1 when the name is not understood.
int GlyphCode(const std::string& name);

/// Reads a source file; throws std::runtime_error naming the file and line on a fault.
GlyphSource ReadGlyphSource(const std::filesystem::path& file);

/// The glyph code of a Polish letter's base letter (1 -> 'a', 13 -> 'L'); 0 for other codes.
int PolishBase(int code);

} // namespace fontgen
