// The animated GIF of a full pass of a 24 x 16 scroller: time to play and encode it, and the
// size of the file (counters: bytes, frames of the pass in ticks).

#include "filmstrip.h"
#include "gifanimation.h"
#include "player_setup.h"

#include <benchmark/benchmark.h>

using namespace pixbar;

static void BM_GifOfScrollerPass(benchmark::State& state) {
    auto sign = playerbench::makeSign();
    std::array<MessageRecord, kPageCount> pages{};
    pages[0] = playerbench::textMessage(int(state.range(0)));
    const FixedClock clock;
    const PreviewSettings settings; // speed 2, as the designer starts
    std::size_t bytes = 0;
    std::uint64_t ticks = 0;
    for (auto _ : state) {
        auto copy = std::make_unique<Emulator>();
        copy->glyphs = sign->glyphs;
        copy->geometry = sign->geometry;
        InitFrame(*copy);
        HeadlessTest test(*copy, clock, settings);
        test.start(pages, 0);
        GifAnimation gif(copy->geometry);
        ticks =
            SampleStrip(test, {}, [&](std::uint64_t t, const FrameBuffer& f) { gif.add(t, f); });
        const auto file = gif.finish(ticks);
        bytes = file.size();
        benchmark::DoNotOptimize(file.data());
    }
    state.counters["bytes"] = double(bytes);
    state.counters["pass_ticks"] = double(ticks);
}
// 20 and 60 characters of 8 pixels: about 2 and 5 screens of text.
BENCHMARK(BM_GifOfScrollerPass)->Arg(20)->Arg(60)->Unit(benchmark::kMillisecond);
