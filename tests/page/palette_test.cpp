// The buttons' table that the designer's panel and the web page share, and what the service
// makes of it: every snippet must put into a record the cells the designer's own command puts.
#include "codepage1250.h"
#include "ledmessagecon.h"
#include "messagetext.h"
#include "messagetextsyntax.h"
#include "palette.h"
#include "palettejson.h"
#include "settings.h"
#include "signservice.h"
#include "testfonts.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace pixbar;
using namespace pixbar::textform;

namespace {

MessageRecord compose(const std::string& text) {
    MessageRecord record;
    const auto error = ComposeMessage(text, CodePage1250::instance(), record);
    EXPECT_FALSE(error) << text << ": " << (error ? error->where() : "");
    return record;
}

/// The caption as the text form names the effect: lower case, without Polish marks.
std::string folded(std::string_view caption) {
    static const std::map<std::string, char> kMarks{
        {"ą", 'a'}, {"ć", 'c'}, {"ę", 'e'}, {"ł", 'l'}, {"ń", 'n'},
        {"ó", 'o'}, {"ś", 's'}, {"ź", 'z'}, {"ż", 'z'}};
    std::string out;
    for (std::size_t i = 0; i < caption.size();) {
        if (std::uint8_t(caption[i]) >= 0x80) {
            const std::string two(caption.substr(i, 2));
            const auto it = kMarks.find(two);
            out += it == kMarks.end() ? '?' : it->second;
            i += 2;
        } else {
            out += char(std::tolower(std::uint8_t(caption[i++])));
        }
    }
    return out;
}

std::vector<FontSize> builtInSizes() {
    std::vector<FontSize> sizes;
    for (const BuiltInFont& f : kBuiltInFonts)
        if (f.tableIndex < kIndexGraphicSymbols)
            sizes.push_back({f.tableIndex + 1, f.width, f.height});
    return sizes;
}

} // namespace

TEST(Palette, EffectCaptionsNameEveryEffectOnceAsTheTextFormDoes) {
    std::set<int> codes;
    for (const EffectCaption& e : kEffectCaptions) {
        SCOPED_TRACE(std::string(e.caption));
        EXPECT_TRUE(codes.insert(int(e.code)).second);
        EXPECT_EQ(folded(e.caption), kEffectNames[std::size_t(e.code)]);
    }
    EXPECT_EQ(codes.size(), std::size_t(kEffectCodeCount));
}

TEST(Palette, FontCaptionsAreThePanelsSamples) {
    const struct {
        int font, width, height;
        const char* caption;
    } cases[] = {{1, 5, 7, "1] 5x7 ABCDE abcde 12345"},
                 {7, 8, 16, "7] 8x16 ABCDE abcde 12345"},
                 {12, 8, 16, "12] 8x16 ABCDE abcde 12345"},
                 {14, 6, 11, "14] 6x11 ABCDE abcde 12345"}};
    for (const auto& c : cases) EXPECT_EQ(FontCaption(c.font, c.width, c.height), c.caption);
}

TEST(Palette, GroupsComeInThePanelsOrder) {
    const auto groups = MessagePalette(builtInSizes());
    std::vector<std::string> captions;
    for (const auto& g : groups) captions.push_back(g.caption);
    EXPECT_EQ(captions, (std::vector<std::string>{"Czcionki", "Format", "Efekty czasowe",
                                                   "Efekty graficzne", "Wstaw w komunikat"}));
    EXPECT_EQ(groups[0].items.size(), 12u);
    EXPECT_EQ(groups[3].items.size(), std::size_t(kEffectCodeCount));
}

// Each button's snippet, followed by a letter, against the cells the designer's command inserts
// at the start of an empty message (its default font 1).
TEST(Palette, EverySnippetMakesTheCellsOfTheDesignersCommand) {
    std::map<std::string, std::vector<Cell>> expected{
        {"Zwykły", {{kAttrFormat, kFormatNormal}}},
        {"Inwersja", {{kAttrFormat, kFormatInverse}}},
        {"Pauza", {{kAttrLead, kLeadPause}, {kDefaultPause, kParameterMark}}},
        {"Data (Rok/Miesiąc/Dzień)", {{std::uint8_t(kFontDefault | kClassDate), kMarkDate}}},
        {"Czas (Godzina/Minuta)", {{std::uint8_t(kFontDefault | kClassTime), kMarkTime}}},
        {"Temperatura",
         {{std::uint8_t(kFontDefault | kClassTemperature), kMarkTemperature}}}};
    for (const EffectCaption& e : kEffectCaptions)
        expected[std::string(e.caption)] = {{kAttrLead, kLeadEffect},
                                            {std::uint8_t(e.code), kParameterMark}};
    for (const FontSize& f : builtInSizes()) expected[FontCaption(f.font, f.width, f.height)] = {};

    int checked = 0;
    for (const PaletteGroup& g : MessagePalette(builtInSizes())) {
        for (const PaletteItem& item : g.items) {
            SCOPED_TRACE(item.caption + " " + item.snippet);
            const auto want = expected.find(item.caption);
            ASSERT_NE(want, expected.end());
            const MessageRecord r = compose(item.snippet + "A");
            const std::vector<Cell>& cells = want->second;
            ASSERT_EQ(r.end(), int(cells.size()) + 1);
            for (std::size_t i = 0; i < cells.size(); ++i) EXPECT_EQ(r.cell(int(i)), cells[i]);
            // A font button changes the font of what follows.
            const bool font = g.caption == kGroupFonts;
            const int fontOfA = font ? std::stoi(item.snippet.substr(6)) : kFontDefault;
            EXPECT_EQ(r.cell(int(cells.size())), (Cell{std::uint8_t(fontOfA), 'A'}));
            ++checked;
        }
    }
    EXPECT_EQ(checked, int(expected.size()));
}

TEST(Palette, SymbolSnippetsMakeTheSymbolCommandsCells) {
    for (int code = kFirstOfferedSymbol; code <= kLastOfferedSymbol; ++code) {
        SCOPED_TRACE(code);
        std::array<Cell, 2> cells;
        const int count = SymbolCells(std::uint8_t(code), cells);
        const MessageRecord r = compose(SymbolSnippet(std::uint8_t(code)));
        ASSERT_EQ(r.end(), count);
        for (int i = 0; i < count; ++i) EXPECT_EQ(r.cell(i), cells[std::size_t(i)]);
    }
}

class ServicePalette : public ::testing::Test {
protected:
    void SetUp() override {
        dir = pixbar::testing::freshDir("palette");
        pixbar::testing::writeBuiltInFonts(dir);
        ASSERT_TRUE(glyphs.LoadBuiltInFonts(dir));
        glyphs.InitFonts();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    QJsonObject palette(std::span<const std::uint8_t> userFont = {}) {
        return QJsonDocument::fromJson(QByteArray::fromStdString(
                                           service::PaletteJson(glyphs, userFont)))
            .object();
    }
    std::filesystem::path dir;
    GlyphSets glyphs;
};

TEST_F(ServicePalette, OffersTheFontsOfTheTableAndTheUserFontOnlyWhenLoaded) {
    const auto fontItems = [](const QJsonObject& p) {
        std::vector<std::string> out;
        for (const auto item : p["groups"].toArray()[0].toObject()["items"].toArray())
            out.push_back(item.toObject()["caption"].toString().toStdString());
        return out;
    };
    std::vector<std::string> want;
    for (int font = 1; font <= 12; ++font) {
        const FontEntry& e = glyphs.entry(font - 1);
        want.push_back(FontCaption(font, e.width, e.height));
    }
    EXPECT_EQ(fontItems(palette()), want);

    const auto user = pixbar::testing::headedFile(6, 11, 0, 256, std::vector<std::uint8_t>(2816, 0x0F));
    want.push_back("14] 6x11 ABCDE abcde 12345");
    EXPECT_EQ(fontItems(palette(user)), want);
    // A file with a bad header is no font: nothing is offered for it.
    auto bad = user;
    bad[0] = 11;
    EXPECT_EQ(fontItems(palette(bad)).size(), 12u);
}

TEST_F(ServicePalette, SlidersCaptionEveryValueAsTheDesignersWindow) {
    const QJsonArray settings = palette()["settings"].toArray();
    ASSERT_EQ(settings.size(), 3);
    std::map<std::string, QJsonObject> byName;
    for (const auto s : settings) byName[s.toObject()["name"].toString().toStdString()] = s.toObject();
    const QJsonObject time = byName["displayTime"];
    EXPECT_EQ(time["caption"].toString(), QStringLiteral("Czas wyświetlania"));
    ASSERT_EQ(time["max"].toInt(), kDisplayTimeNoSwitch);
    const QJsonArray values = time["values"].toArray();
    ASSERT_EQ(values.size(), kDisplayTimeNoSwitch + 1);
    for (int p = 0; p <= kDisplayTimeNoSwitch; ++p)
        EXPECT_EQ(values[p].toString().toStdString(), DisplayTimeText(p)) << p;
    EXPECT_EQ(values.last().toString(), QStringLiteral("nie przełączaj"));
    for (const auto& [name, caption, min, max] :
         {std::tuple{"brightness", "Jasność", 1, 100}, std::tuple{"speed", "Prędkość przesuwu", 1, 20}}) {
        const QJsonObject s = byName[name];
        EXPECT_EQ(s["caption"].toString(), QString::fromUtf8(caption));
        EXPECT_EQ(s["min"].toInt(), min);
        EXPECT_EQ(s["max"].toInt(), max);
        EXPECT_EQ(s["values"].toArray().size(), max - min + 1);
    }
    EXPECT_EQ(byName["brightness"]["values"].toArray()[89].toString(), QStringLiteral("90%"));
}

TEST_F(ServicePalette, SymbolPicturesShowEveryLedOfTheGlyph) {
    const FontEntry& font = glyphs.entry(kIndexSymbolFont);
    for (int code : {1, 0x80, 0xA5, 0xFF}) {
        SCOPED_TRACE(code);
        const auto png = service::SymbolPicture(glyphs, code);
        ASSERT_TRUE(png);
        QImage image;
        ASSERT_TRUE(image.loadFromData(png->data(), int(png->size()), "PNG"));
        ASSERT_EQ(image.width(), 8 * service::kSymbolLedPitch);
        ASSERT_EQ(image.height(), font.height * service::kSymbolLedPitch);
        for (int y = 0; y < font.height; ++y)
            for (int x = 0; x < 8; ++x) {
                const bool lit = font.row(unsigned(code), unsigned(y)) & (0x80 >> x);
                const QRgb led = image.pixel(x * service::kSymbolLedPitch + 1,
                                             y * service::kSymbolLedPitch + 1);
                EXPECT_EQ(qRed(led) > 200, lit) << x << "," << y;
            }
    }
    EXPECT_FALSE(service::SymbolPicture(glyphs, 256));
    EXPECT_FALSE(service::SymbolPicture(GlyphSets{}, 0x80)); // no symbol font loaded
}

TEST_F(ServicePalette, TheApiAnswersThePaletteAndThePictures) {
    struct Now : Clock {
        LocalDateTime now() const override { return {}; }
    } clock;
    service::ServiceConfig config;
    // Loaded as pixbard loads them: the font table is the service's own business.
    GlyphSets loaded;
    ASSERT_TRUE(loaded.LoadBuiltInFonts(dir));
    service::SignService api(config, [] { return nullptr; }, loaded, clock);
    const struct {
        const char* method;
        const char* path;
        int status;
        const char* type;
    } cases[] = {{"GET", "/api/v1/palette", 200, "application/json"},
                 {"HEAD", "/api/v1/palette", 200, "application/json"},
                 {"POST", "/api/v1/palette", 405, "application/json"},
                 {"GET", "/api/v1/symbols/128.png", 200, "image/png"},
                 {"GET", "/api/v1/symbols/1.png", 200, "image/png"},
                 {"GET", "/api/v1/symbols/255.png", 200, "image/png"},
                 {"GET", "/api/v1/symbols/0.png", 404, "application/json"},
                 {"GET", "/api/v1/symbols/256.png", 404, "application/json"},
                 {"GET", "/api/v1/symbols/12.gif", 404, "application/json"},
                 {"GET", "/api/v1/symbols/x.png", 404, "application/json"},
                 {"PUT", "/api/v1/symbols/128.png", 405, "application/json"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.path);
        service::ApiRequest request;
        request.method = c.method;
        request.path = c.path;
        const service::ApiResponse r = api.handle(request);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.contentType, c.type);
    }
    service::ApiRequest asked;
    asked.method = "GET";
    asked.path = "/api/v1/palette";
    const auto fonts = QJsonDocument::fromJson(QByteArray::fromStdString(api.handle(asked).body))
                           .object()["groups"].toArray()[0].toObject()["items"].toArray();
    EXPECT_EQ(fonts.size(), 12);
    service::ApiRequest unknown;
    unknown.method = "GET";
    unknown.path = "/api/v1/palette";
    unknown.query["sign"] = "nie-ma";
    EXPECT_EQ(api.handle(unknown).status, 404);
}
