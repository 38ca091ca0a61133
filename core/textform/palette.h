#pragma once

// The buttons that put an item into a message, captioned as the designer's button panel
// captions them, each with the item's text form. The designer's panel and menus take their
// captions from here, and the service hands the same table to its web page.

#include "messagerecord.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pixbar::textform {

/// One button: its Polish caption and the text form it inserts.
struct PaletteItem {
    std::string caption;
    std::string snippet;
    friend bool operator==(const PaletteItem&, const PaletteItem&) = default;
};

/// A group of buttons under its caption, as in the designer's panel.
struct PaletteGroup {
    std::string caption;
    std::vector<PaletteItem> items;
};

struct EffectCaption {
    std::string_view caption;
    EffectCode code;
};

/// The effects in the order of the menus and the button panel.
inline constexpr std::array<EffectCaption, kEffectCodeCount> kEffectCaptions{{
    {"Scroller", EffectCode::Scroller},
    {"Tekst stojący", EffectCode::StandingText},
    {"Najazd z dołu", EffectCode::SlideFromBottom},
    {"Najazd z góry", EffectCode::SlideFromTop},
    {"Roleta z dołu", EffectCode::BlindFromBottom},
    {"Roleta z góry", EffectCode::BlindFromTop},
    {"Piksele", EffectCode::Pixels},
    {"Linie z dołu", EffectCode::LinesFromBottom},
    {"Linie z góry", EffectCode::LinesFromTop},
    {"Mrugaj inwersją", EffectCode::BlinkInverse},
    {"Mrugaj ekranem", EffectCode::BlinkScreen},
    {"Maszyna do pisania", EffectCode::Typewriter},
}};

inline constexpr std::string_view kGroupFonts = "Czcionki";
inline constexpr std::string_view kGroupFormat = "Format";
inline constexpr std::string_view kGroupTimed = "Efekty czasowe";
inline constexpr std::string_view kGroupGraphic = "Efekty graficzne";
inline constexpr std::string_view kGroupInsert = "Wstaw w komunikat";

inline constexpr std::string_view kCaptionNormal = "Zwykły";
inline constexpr std::string_view kCaptionInverse = "Inwersja";
inline constexpr std::string_view kCaptionPause = "Pauza";
inline constexpr std::string_view kCaptionDate = "Data (Rok/Miesiąc/Dzień)";
inline constexpr std::string_view kCaptionTime = "Czas (Godzina/Minuta)";
inline constexpr std::string_view kCaptionTemperature = "Temperatura";

/// The symbols of font 15 the "Symbol" command offers: the second half of its table.
inline constexpr int kFirstOfferedSymbol = 128;
inline constexpr int kLastOfferedSymbol = 255;

/// "3] 8x8 ABCDE abcde 12345": the sample a font's button shows, drawn in that font.
std::string FontCaption(int font, int width, int height);
/// "{font 3}"
std::string FontSnippet(int font);
/// "{effect 3}"
std::string EffectSnippet(EffectCode code);
/// "{symbol 0x80}"
std::string SymbolSnippet(std::uint8_t code);

/// A font with glyphs to offer: its number (1..15) and glyph size.
struct FontSize {
    int font = 0;
    int width = 0;
    int height = 0;
};

/// The panel's groups in its order: the fonts given, format, pause, effects, fields.
std::vector<PaletteGroup> MessagePalette(std::span<const FontSize> fonts);

} // namespace pixbar::textform
