// One effect step plus the LED painting that follows it, on a 24 x 16 sign, for every effect
// type, against the painting alone. Goal: each within 1.5 times RenderLeds.

#include "player.h"
#include "player_setup.h"

#include <benchmark/benchmark.h>

using namespace playerbench;

static void BM_RenderLeds(benchmark::State& state) {
    auto emu = makeSign();
    for (int i = 0; i < kFrameBufferSize; i += 3) emu->frame[std::size_t(i)] = 0xA5;
    for (auto _ : state) {
        RenderLeds(emu->geometry, emu->frame, emu->bitmap);
        benchmark::DoNotOptimize(emu->bitmap.pixels.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RenderLeds);

static void BM_EffectStep(benchmark::State& state) {
    const auto type = EffectType(state.range(0));
    auto emu = makeSign();
    FixedClock clock({2026, 12, 6, 9, 5});
    PixelGenerator generator;
    const MessageRecord message = textMessage(60);
    Track track = StartTrack(message, 0, emu->geometry.height, emu->geometry.pixelWidth());
    const Stage stage{emu->geometry, emu->glyphs.table(), emu->frame,
                      emu->scratch,  &emu->bitmap,        clock,
                      generator};
    for (auto _ : state) {
        // Keep the track on the measured effect: whenever it finishes, a new phase begins,
        // so composing steps come in their natural share.
        if (track.effectType != type) {
            track.effectType = type;
            track.nextEffectType = type;
            track.phaseFlag = true;
        }
        EffectStep(stage, track);
        StepDelay(track, 1);
        benchmark::DoNotOptimize(emu->bitmap.pixels.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_EffectStep)->DenseRange(0, 11)->ArgName("type");
