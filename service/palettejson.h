#pragma once

// What the web page needs to offer the designer's buttons without knowing the sign's rules:
// the captions with their text form, the symbols of font 15 and the settings' sliders.

#include "glyphs.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pixbar::service {

/// The palette as JSON: groups of {caption, snippet}, the offered symbols with their pictures'
/// paths, the settings' sliders with a caption for each value and the cells a message holds. The user font is offered
/// when `userFont`, the image loaded onto the sign, is one.
std::string PaletteJson(const GlyphSets& glyphs, std::span<const std::uint8_t> userFont);

/// The PNG of symbol `code` of font 15, each pixel drawn as a LED; nothing when the font has no
/// glyph for it.
std::optional<std::vector<std::uint8_t>> SymbolPicture(const GlyphSets& glyphs, int code);

/// The size of a symbol's picture: pixels a LED.
inline constexpr int kSymbolLedPitch = 4;

} // namespace pixbar::service
