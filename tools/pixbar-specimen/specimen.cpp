#include "specimen.h"

#include "glyphs.h"
#include "pixbar.h"

#include <QByteArray>
#include <QFont>
#include <QPainter>
#include <QStringEncoder>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

namespace specimen {

namespace {

constexpr int kSignRegisters = 24;
constexpr int kMargin = 8;
constexpr int kCaptionHeight = 20;
constexpr int kSignGap = 4;
constexpr int kBlockGap = 14;
constexpr QRgb kBackground = 0xFF181818;
constexpr QRgb kCaptionColour = 0xFFE0E0E0;

/// One font's block: its caption and the sign pictures below it.
struct Block {
    QString caption;
    std::vector<QImage> signs;
};

QString fileOf(int index) {
    if (index == pixbar::kIndexGraphicSymbols) return pixbar::kSymbolTableFile;
    if (index == pixbar::kIndexUserFont) return QStringLiteral("przyklad.fnd");
    for (const auto& f : pixbar::kBuiltInFonts)
        if (f.tableIndex == index) return f.file;
    return {};
}

/// Paints the frame buffer as LEDs and cuts the sign's own area out of the LED bitmap.
QImage paintSign(const pixbar::SignGeometry& g, const pixbar::FrameBuffer& frame) {
    pixbar::LedBitmap bitmap;
    pixbar::RenderLeds(g, frame, bitmap);
    const int pitch = pixbar::LedPitch(g);
    const QImage whole(reinterpret_cast<const uchar*>(bitmap.pixels.data()),
                       pixbar::kLedBitmapWidth, pixbar::kLedBitmapHeight,
                       pixbar::kLedBitmapWidth * int(sizeof(std::uint32_t)), QImage::Format_RGB32);
    return whole.copy(0, 0, g.pixelWidth() * pitch, g.height * pitch);
}

/// Lays a text out over as many signs as it needs, breaking lines between words.
std::vector<QImage> textSigns(pixbar::Emulator& emu, int index, const QByteArray& text) {
    const auto& g = emu.geometry;
    const auto& fonts = emu.glyphs.table();
    std::vector<QImage> signs;
    std::vector<QByteArray> words;
    for (const QByteArray& w : text.split(' '))
        if (!w.isEmpty()) words.push_back(w);

    auto measure = [&](const QByteArray& word) {
        pixbar::FrameBuffer scratch{};
        int x = 0;
        for (char c : word)
            pixbar::DrawGlyph(g, fonts, scratch, index, x, 0, g.height, true, std::uint8_t(c), 0);
        return x;
    };

    emu.frame.fill(0);
    int x = 0;
    for (const QByteArray& word : words) {
        const int space = x > 0 ? fonts[index & 0x0F].width : 0;
        if (x > 0 && x + space + measure(word) > g.pixelWidth()) {
            signs.push_back(paintSign(g, emu.frame));
            emu.frame.fill(0);
            x = 0;
        } else {
            x += space;
        }
        for (char c : word)
            pixbar::DrawGlyph(g, fonts, emu.frame, index, x, 0, g.height, true, std::uint8_t(c), 0);
    }
    signs.push_back(paintSign(g, emu.frame));
    return signs;
}

/// Every glyph of a text face (Polish letters 1..18, then the printable codes), each in a
/// cell one column wider than the glyph so that neighbours never touch.
std::vector<QImage> glyphTableSigns(pixbar::Emulator& emu, int index) {
    const auto& g = emu.geometry;
    const auto& font = emu.glyphs.table()[index];
    std::vector<int> codes;
    for (int c = 1; c <= 18; ++c) codes.push_back(c);
    for (int c = 0x21; c < 0x7F; ++c) codes.push_back(c);
    const int cell = font.width + 1;
    const int perSign = std::max(1, g.pixelWidth() / cell);
    std::vector<QImage> signs;
    for (std::size_t i = 0; i < codes.size(); i += std::size_t(perSign)) {
        emu.frame.fill(0);
        for (std::size_t k = i; k < std::min(codes.size(), i + std::size_t(perSign)); ++k) {
            int x = int(k - i) * cell;
            pixbar::DrawGlyph(g, emu.glyphs.table(), emu.frame, index, x, 0, g.height, false,
                              std::uint8_t(codes[k]), 0);
        }
        signs.push_back(paintSign(g, emu.frame));
    }
    return signs;
}

/// Pictures of the symbol font that are two glyphs wide: the editor's icons of two cells and
/// the two wide symbols at 0x80 and 0x82.
constexpr std::array<int, 15> kSymbolFontPairs{3,  5,  7,  9,  11, 13,   15,  21,
                                               23, 25, 27, 29, 36, 0x80, 0x82};

bool blankGlyph(const pixbar::FontEntry& font, int code) {
    const std::uint8_t* rows = font.glyph(unsigned(code));
    return !rows || std::all_of(rows, rows + font.height, [](std::uint8_t b) { return b == 0; });
}

/// The pictures of a symbol set as (first glyph, glyph count): from the symbol map for the
/// graphic symbols, from the known pairs for the symbol font; other drawn glyphs alone.
std::vector<std::pair<int, int>> symbolPictures(const pixbar::Emulator& emu, int index) {
    const auto& font = emu.glyphs.table()[index];
    const auto& map = emu.glyphs.symbolMap();
    std::vector<std::pair<int, int>> pictures;
    for (int c = 1; c < 256;) {
        int n = 1;
        if (index == pixbar::kIndexGraphicSymbols && map[std::size_t(c)] != 0 &&
            map[std::size_t(c)] != pixbar::kSymbolMapContinues)
            n = std::min(int(map[std::size_t(c)]), 256 - c);
        else if (index == pixbar::kIndexSymbolFont &&
                 std::find(kSymbolFontPairs.begin(), kSymbolFontPairs.end(), c) !=
                     kSymbolFontPairs.end())
            n = 2;
        bool drawn = false;
        for (int k = 0; k < n; ++k) drawn = drawn || !blankGlyph(font, c + k);
        if (drawn) pictures.push_back({c, n});
        c += n;
    }
    return pictures;
}

/// A symbol set picture by picture: the glyphs of one picture side by side without gaps, so
/// that they join up, and a gap between pictures.
std::vector<QImage> symbolSigns(pixbar::Emulator& emu, int index) {
    constexpr int kPictureGap = 3;
    const auto& g = emu.geometry;
    std::vector<QImage> signs;
    emu.frame.fill(0);
    int x = 0;
    for (const auto& [first, count] : symbolPictures(emu, index)) {
        if (x > 0 && x + count * 8 > g.pixelWidth()) {
            signs.push_back(paintSign(g, emu.frame));
            emu.frame.fill(0);
            x = 0;
        }
        for (int k = 0; k < count; ++k) {
            int at = x + 8 * k;
            pixbar::DrawGlyph(g, emu.glyphs.table(), emu.frame, index, at, 0, g.height, false,
                              std::uint8_t(first + k), 0);
        }
        x += count * 8 + kPictureGap;
    }
    signs.push_back(paintSign(g, emu.frame));
    return signs;
}

Block fontBlock(pixbar::Emulator& emu, int index) {
    const auto& font = emu.glyphs.table()[index];
    emu.geometry.set(kSignRegisters, font.height > 8 ? 16 : 8);
    pixbar::InitFrame(emu);

    Block block;
    block.caption = QStringLiteral("%1: %2 (%3 x %4)")
                        .arg(index + 1)
                        .arg(fileOf(index))
                        .arg(font.width)
                        .arg(font.height);
    if (index == pixbar::kIndexGraphicSymbols || index == pixbar::kIndexSymbolFont) {
        block.signs = symbolSigns(emu, index);
        return block;
    }
    QStringEncoder toCp1250("windows-1250");
    const QByteArray sample = toCp1250.encode(QString::fromUtf8(kSampleText));
    block.signs = textSigns(emu, index, sample);
    for (QImage& s : glyphTableSigns(emu, index)) block.signs.push_back(std::move(s));
    return block;
}

} // namespace

QImage RenderSpecimen(const SpecimenOptions& options, QString& error) {
    auto emu = std::make_unique<pixbar::Emulator>();
    emu->glyphs.setStartDirectory(options.dataDir);
    auto fail = [&](const pixbar::FileResult& r) {
        error = QString::fromStdString(r.message());
        return QImage();
    };
    if (auto r = emu->glyphs.LoadBuiltInFonts(options.dataDir); !r) return fail(r);
    emu->geometry.set(kSignRegisters, 16);
    if (auto r = pixbar::InitEmulator(*emu); !r) return fail(r);
    if (auto r = emu->glyphs.LoadUserFont(options.dataDir / "przyklad.fnd"); !r) return fail(r);

    std::vector<int> indexes;
    for (int number = 1; number <= 15; ++number)
        if (options.fonts.empty() ||
            std::find(options.fonts.begin(), options.fonts.end(), number) != options.fonts.end())
            indexes.push_back(number - 1);

    std::vector<Block> blocks;
    int width = 0, height = kMargin;
    for (int index : indexes) {
        blocks.push_back(fontBlock(*emu, index));
        height += kCaptionHeight;
        for (const QImage& s : blocks.back().signs) {
            width = std::max(width, s.width());
            height += s.height() + kSignGap;
        }
        height += kBlockGap;
    }

    QImage out(width + 2 * kMargin, height, QImage::Format_RGB32);
    out.fill(kBackground);
    QPainter painter(&out);
    QFont font = painter.font();
    font.setPixelSize(13);
    painter.setFont(font);
    painter.setPen(QColor::fromRgb(kCaptionColour));
    int y = kMargin;
    for (const Block& b : blocks) {
        painter.drawText(QRect(kMargin, y, width, kCaptionHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         b.caption);
        y += kCaptionHeight;
        for (const QImage& s : b.signs) {
            painter.drawImage(kMargin, y, s);
            y += s.height() + kSignGap;
        }
        y += kBlockGap;
    }
    return out;
}

} // namespace specimen
