#include "palettejson.h"

#include "apirequests.h"
#include "palette.h"
#include "settings.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <functional>

namespace pixbar::service {

namespace {

constexpr QRgb kLit = qRgb(255, 64, 24);
constexpr QRgb kUnlit = qRgb(60, 14, 8);
constexpr QRgb kBetween = qRgb(0, 0, 0);

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

QJsonObject slider(const char* name, const char* caption, int min, int max,
                   const std::function<std::string(int)>& valueText) {
    QJsonArray values;
    for (int v = min; v <= max; ++v) values.append(q(valueText(v)));
    return {{"name", name}, {"caption", caption}, {"min", min}, {"max", max}, {"values", values}};
}

} // namespace

std::string PaletteJson(const GlyphSets& glyphs, std::span<const std::uint8_t> userFont) {
    std::vector<textform::FontSize> fonts;
    // Font 13 is the graphic symbols, which have an editor of their own in the designer.
    for (int font = 1; font <= kIndexGraphicSymbols; ++font) {
        const FontEntry& e = glyphs.entry(font - 1);
        if (e.data) fonts.push_back({font, e.width, e.height});
    }
    GlyphSets loaded;
    if (!userFont.empty() && loaded.SetUserFontImage(userFont)) {
        const FontEntry& e = loaded.entry(kIndexUserFont);
        fonts.push_back({kFontUser, e.width, e.height});
    }
    QJsonArray groups;
    for (const textform::PaletteGroup& g : textform::MessagePalette(fonts)) {
        QJsonArray items;
        for (const textform::PaletteItem& i : g.items)
            items.append(QJsonObject{{"caption", q(i.caption)}, {"snippet", q(i.snippet)}});
        groups.append(QJsonObject{{"caption", q(g.caption)}, {"items", items}});
    }
    QJsonArray symbols;
    for (int code = textform::kFirstOfferedSymbol; code <= textform::kLastOfferedSymbol; ++code)
        symbols.append(QJsonObject{
            {"code", code},
            {"snippet", q(textform::SymbolSnippet(std::uint8_t(code)))},
            {"picture", q("/api/v1/symbols/" + std::to_string(code) + ".png")}});
    const QJsonArray settings{
        slider("brightness", "Jasność", kMinBrightness, kMaxBrightness,
               [](int v) { return std::to_string(v) + "%"; }),
        slider("speed", "Prędkość przesuwu", kMinSpeed, kMaxSpeed,
               [](int v) { return std::to_string(v); }),
        slider("displayTime", "Czas wyświetlania", 0, kDisplayTimeNoSwitch, DisplayTimeText)};
    const QJsonObject o{{"groups", groups},
                        {"symbols", symbols},
                        {"settings", settings},
                        {"cellLimit", kCellCount}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

std::optional<std::vector<std::uint8_t>> SymbolPicture(const GlyphSets& glyphs, int code) {
    const FontEntry& font = glyphs.entry(kIndexSymbolFont);
    if (code < 0 || code > 0xFF || !font.glyph(unsigned(code))) return std::nullopt;
    const int width = std::min<int>(font.width, 8);
    QImage image(width * kSymbolLedPitch, font.height * kSymbolLedPitch, QImage::Format_RGB32);
    image.fill(kBetween);
    for (int y = 0; y < font.height; ++y) {
        const std::uint8_t bits = font.row(unsigned(code), unsigned(y));
        for (int x = 0; x < width; ++x) {
            const QRgb colour = (bits & (0x80 >> x)) ? kLit : kUnlit;
            for (int dy = 0; dy < kSymbolLedPitch - 1; ++dy)
                for (int dx = 0; dx < kSymbolLedPitch - 1; ++dx)
                    image.setPixel(x * kSymbolLedPitch + dx, y * kSymbolLedPitch + dy, colour);
        }
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return std::nullopt;
    const QByteArray& data = buffer.data();
    return std::vector<std::uint8_t>(data.begin(), data.end());
}

} // namespace pixbar::service
