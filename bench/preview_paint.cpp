// Per effect on a 24 x 16 sign: the share of steps that leave the picture as it was (nothing is
// painted and no repaint is asked for), and the cost of a step with its painting now (only the
// changed LEDs, and only their rectangle drawn into the window's picture) against a step with
// the painting it had before (all LEDs, then the whole widget filled black and the whole
// bitmap drawn over it). Both are timed in turns in the same loop, on two signs fed the same.

#include "player.h"
#include "player_setup.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <chrono>

using namespace playerbench;

namespace {

using Timer = std::chrono::steady_clock;

/// The window's picture of the sign: 960 x 132, as the backing store of a 24-bit display.
QImage windowPicture() {
    QImage image(kLedBitmapWidth, kLedImageHeight, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

QImage bitmapImage(const LedBitmap& bitmap) {
    return {reinterpret_cast<const uchar*>(bitmap.pixels.data()), kLedBitmapWidth,
            kLedBitmapHeight, kLedBitmapWidth * 4, QImage::Format_RGB32};
}

/// One sign with its track, kept on one effect: whenever the effect finishes a new phase of the
/// same effect begins, so composing steps come in their natural share.
struct Sign {
    std::unique_ptr<Emulator> emu = makeSign();
    FixedClock clock{{2026, 12, 6, 9, 5}};
    PixelGenerator generator;
    MessageRecord message = textMessage(60);
    Track track = StartTrack(message, 0, emu->geometry.height, emu->geometry.pixelWidth());

    void step(EffectType type, bool paintLeds) {
        if (track.effectType != type) {
            track.effectType = type;
            track.nextEffectType = type;
            track.phaseFlag = true;
        }
        const Stage stage{emu->geometry, emu->glyphs.table(), emu->frame, emu->scratch,
                          paintLeds ? &emu->bitmap : nullptr, clock, generator};
        EffectStep(stage, track);
        StepDelay(track, 1);
    }
};

} // namespace

static void BM_StepAndPaint(benchmark::State& state) {
    const auto type = EffectType(state.range(0));
    Sign now, before;
    // A line of standing text is shown first, so that the blinks have a picture to blink.
    now.step(EffectType::StandingText, true);
    before.step(EffectType::StandingText, false);
    // The window shows the sign before the test; its first repaint draws all of it.
    RenderLeds(now.emu->geometry, now.emu->frame, now.emu->bitmap);
    QImage nowPicture = windowPicture(), beforePicture = windowPicture();
    const QImage nowBitmap = bitmapImage(now.emu->bitmap);
    const QImage beforeBitmap = bitmapImage(before.emu->bitmap);
    Timer::duration nowTime{}, beforeTime{};
    long steps = 0, skipped = 0;
    for (auto _ : state) {
        const auto t0 = Timer::now();
        now.step(type, true);
        const LedArea a = now.emu->bitmap.takeChanged();
        if (a.empty()) {
            ++skipped;
        } else {
            QPainter p(&nowPicture);
            p.drawImage(QPoint(a.x, kLedImageTop + a.y), nowBitmap,
                        QRect(a.x, a.y, a.width, a.height));
        }
        const auto t1 = Timer::now();
        before.step(type, false);
        RenderLeds(before.emu->geometry, before.emu->frame, before.emu->bitmap);
        {
            QPainter p(&beforePicture);
            p.fillRect(beforePicture.rect(), Qt::black);
            p.drawImage(0, kLedImageTop, beforeBitmap);
        }
        const auto t2 = Timer::now();
        nowTime += t1 - t0;
        beforeTime += t2 - t1;
        ++steps;
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        benchmark::ClobberMemory();
    }
    if (nowPicture != beforePicture) state.SkipWithError("the two ways paint different pictures");
    const double n = double(steps);
    state.counters["skipped_share"] = double(skipped) / n;
    state.counters["now_ns"] = std::chrono::duration<double, std::nano>(nowTime).count() / n;
    state.counters["before_ns"] = std::chrono::duration<double, std::nano>(beforeTime).count() / n;
    state.counters["ratio"] = double(nowTime.count()) / double(beforeTime.count());
}
BENCHMARK(BM_StepAndPaint)->DenseRange(0, 11)->ArgName("type")->UseManualTime();
