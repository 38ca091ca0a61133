#include "palette.h"

namespace pixbar::textform {

namespace {

std::string str(std::string_view s) {
    return std::string(s);
}

} // namespace

std::string FontCaption(int font, int width, int height) {
    return std::to_string(font) + "] " + std::to_string(width) + "x" + std::to_string(height) +
           " ABCDE abcde 12345";
}

std::string FontSnippet(int font) {
    return "{font " + std::to_string(font) + "}";
}

std::string EffectSnippet(EffectCode code) {
    return "{effect " + std::to_string(int(code)) + "}";
}

std::string SymbolSnippet(std::uint8_t code) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    return std::string("{symbol 0x") + kHex[code >> 4] + kHex[code & 0x0F] + "}";
}

std::vector<PaletteGroup> MessagePalette(std::span<const FontSize> fonts) {
    std::vector<PaletteGroup> groups;
    PaletteGroup& fontGroup = groups.emplace_back(PaletteGroup{str(kGroupFonts), {}});
    for (const FontSize& f : fonts)
        fontGroup.items.push_back({FontCaption(f.font, f.width, f.height), FontSnippet(f.font)});
    groups.push_back({str(kGroupFormat),
                      {{str(kCaptionNormal), "{normal}"}, {str(kCaptionInverse), "{inverse}"}}});
    groups.push_back({str(kGroupTimed), {{str(kCaptionPause), "{pause}"}}});
    PaletteGroup& effects = groups.emplace_back(PaletteGroup{str(kGroupGraphic), {}});
    for (const EffectCaption& e : kEffectCaptions)
        effects.items.push_back({str(e.caption), EffectSnippet(e.code)});
    groups.push_back({str(kGroupInsert),
                      {{str(kCaptionDate), "{date}"},
                       {str(kCaptionTime), "{time}"},
                       {str(kCaptionTemperature), "{temperature}"}}});
    return groups;
}

} // namespace pixbar::textform
