#pragma once

#include "glyphsource.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fontgen {

using GlyphMap = std::map<int, Bitmap>;

/// Whether `style` names a style that ApplyStyle knows.
bool KnownStyle(const std::string& style);

/// Glyph `code` of a derived face of `width` x `height`, drawn in `style` from the glyphs of its
/// base face; nothing when the base has no glyph to derive it from.
///  copy      the base glyph unchanged (placed at the top left)
///  bold      every stroke one pixel wider to the right
///  heavy     bold, and one row taller: the middle row is drawn twice
///  balloon   a 2x2 pen with the outer corners rounded off (puffy letters)
///  outline   capitals squeezed to six rows and drawn as an outline around their strokes
///  serif     thick stems, and slab serifs where the stems of letters end freely
///  double    capitals doubled in height (lower case drawn as capitals)
///  broadway  doubled height, two-pixel stems and hairline cross strokes
///  computer  square corners (round figures) and heavy lower stems, as on computer forms
///  italic    the upper rows leaned one pixel to the right
std::optional<Bitmap> ApplyStyle(const std::string& style, const GlyphMap& base, int code,
                                 int width, int height);

/// Whether every segment name in `segments` is one DrawSegments knows.
bool KnownSegments(const std::vector<std::string>& segments, std::string& unknown);

/// A glyph of an 8 x 16 segment display: segments a..f, g1, g2, the centre bars i and l,
/// the diagonals h, j, k, m, the points dp and colon, and the Polish marks acute, dot,
/// ogonek and stroke.
Bitmap DrawSegments(const std::vector<std::string>& segments, int width, int height);

} // namespace fontgen
