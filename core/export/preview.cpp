#include "preview.h"

#include "gifanimation.h"
#include "pixbar.h"

#include <QBuffer>
#include <QImage>

#include <algorithm>
#include <memory>

namespace pixbar {

std::unique_ptr<Emulator> PreviewRenderer::prepare(const PreviewRequest& request,
                                                   std::string& error) const {
    auto emu = std::make_unique<Emulator>();
    emu->glyphs = m_glyphs;
    emu->geometry.set(request.width, request.height);
    if (FileResult r = InitEmulator(*emu); !r) {
        error = r.message();
        return nullptr;
    }
    if (!request.userFont.empty() && !emu->glyphs.SetUserFontImage(request.userFont)) {
        error = "czcionka użytkownika ma zły nagłówek";
        return nullptr;
    }
    if (!request.symbols.empty() && !emu->glyphs.SetSymbolTableImage(request.symbols)) {
        error = "tablica symboli ma zły nagłówek";
        return nullptr;
    }
    return emu;
}

std::vector<std::uint8_t> PreviewRenderer::gif(const PreviewRequest& request, const Clock& clock,
                                               std::string& error) const {
    auto emu = prepare(request, error);
    if (!emu) return {};
    HeadlessTest test(*emu, clock, request.settings);
    // A lower or empty message plays nothing: the sign stays dark, as in the designer.
    test.start(request.pages, request.index);
    std::vector<std::uint8_t> bytes = EncodeAnimation(test, request.ticks);
    if (bytes.empty()) error = "nie można utworzyć animacji";
    return bytes;
}

bool PreviewRenderer::frames(
    const PreviewRequest& request, const Clock& clock, std::string& error,
    const std::function<void(Emulator&, const FrameBuffer&)>& take) const {
    auto emu = prepare(request, error);
    if (!emu) return false;
    HeadlessTest test(*emu, clock, request.settings);
    test.start(request.pages, request.index);
    StripTicks film = request.ticks;
    if (film.every == 0) film.every = 1;
    SampleStrip(test, film, [&](std::uint64_t, const FrameBuffer& frame) { take(*emu, frame); });
    return true;
}

std::vector<std::uint8_t> PreviewRenderer::png(const PreviewRequest& request, const Clock& clock,
                                               std::string& error) const {
    const int count = int(std::max<std::uint64_t>(request.ticks.count, 1));
    QImage strip(kLedBitmapWidth, kLedBitmapHeight * count, QImage::Format_RGB32);
    strip.fill(Qt::black);
    int n = 0;
    const bool played = frames(request, clock, error, [&](Emulator& emu, const FrameBuffer& frame) {
        if (n >= count) return;
        RenderLeds(emu.geometry, frame, emu.bitmap);
        for (int y = 0; y < kLedBitmapHeight; ++y)
            std::copy_n(emu.bitmap.pixels.begin() + std::ptrdiff_t(y) * kLedBitmapWidth,
                        kLedBitmapWidth,
                        reinterpret_cast<std::uint32_t*>(strip.scanLine(n * kLedBitmapHeight + y)));
        ++n;
    });
    if (!played) return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!strip.save(&buffer, "PNG")) {
        error = "nie można utworzyć obrazu PNG";
        return {};
    }
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

} // namespace pixbar
