// Frame buffer drawing and LED painting, against the plain memory-store limit.
#include "pixbar.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

using namespace pixbar;

namespace {

SignGeometry sign(int registers, int height) {
    SignGeometry g;
    g.set(registers, height);
    return g;
}

FrameBuffer pattern(const SignGeometry& g) {
    FrameBuffer b{};
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.pixelWidth(); ++x) SetPixel(g, b, x, y, (x * 7 + y * 3) % 5 < 2);
    return b;
}

void BM_RenderLeds(benchmark::State& state) {
    const SignGeometry g = sign(int(state.range(0)), int(state.range(1)));
    const FrameBuffer b = pattern(g);
    LedBitmap bmp;
    for (auto _ : state) {
        RenderLeds(g, b, bmp);
        benchmark::DoNotOptimize(bmp.pixels.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RenderLeds)->Args({24, 16})->Args({8, 8});

/// The store limit: the same LED lines of the bitmap filled with one colour.
void BM_FillLedLines(benchmark::State& state) {
    const SignGeometry g = sign(int(state.range(0)), int(state.range(1)));
    const int p = LedPitch(g);
    LedBitmap bmp;
    for (auto _ : state) {
        for (int y = 0; y < g.height; ++y)
            for (int i = 0; i < p - 1; ++i) {
                std::uint32_t* line = bmp.pixels.data() + std::size_t(y * p + i) * kLedBitmapWidth;
                std::fill_n(line, g.pixelWidth() * p, kLedOn);
            }
        benchmark::DoNotOptimize(bmp.pixels.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FillLedLines)->Args({24, 16})->Args({8, 8});

void BM_FillWholeBitmap(benchmark::State& state) {
    LedBitmap bmp;
    for (auto _ : state) {
        std::fill(bmp.pixels.begin(), bmp.pixels.end(), kLedOn);
        benchmark::DoNotOptimize(bmp.pixels.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FillWholeBitmap);

/// RenderLeds against std::fill_n of the pixels it paints (the LED lines of every row,
/// (P - 1) x H lines of 8 W P pixels, in the same bitmap), timed in turns of 8 calls in the same loop so that the
/// ratio holds on a loaded machine; the time shown is one turn of both. Goal: ratio at most 1.5 at every geometry.
void BM_RenderLedsAgainstFill(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const SignGeometry g = sign(int(state.range(0)), int(state.range(1)));
    const FrameBuffer b = pattern(g);
    const int p = LedPitch(g);
    const int lines = (p - 1) * g.height;
    const int span = g.pixelWidth() * p;
    LedBitmap bmp;
    constexpr int kTurn = 8;
    Clock::duration render{}, fill{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        for (int i = 0; i < kTurn; ++i) {
            RenderLeds(g, b, bmp);
            benchmark::DoNotOptimize(bmp.pixels.data());
            benchmark::ClobberMemory();
        }
        const auto t1 = Clock::now();
        for (int i = 0; i < kTurn; ++i) {
            for (int line = 0; line < lines; ++line)
                std::fill_n(bmp.pixels.data() + std::size_t(line / (p - 1) * p + line % (p - 1)) *
                                                   kLedBitmapWidth,
                            span, kLedOn);
            benchmark::DoNotOptimize(bmp.pixels.data());
            benchmark::ClobberMemory();
        }
        const auto t2 = Clock::now();
        render += t1 - t0;
        fill += t2 - t1;
        state.SetIterationTime(std::chrono::duration<double>(t2 - t0).count());
    }
    const double n = double(state.iterations()) * kTurn;
    state.counters["render_ns"] = std::chrono::duration<double, std::nano>(render).count() / n;
    state.counters["fill_ns"] = std::chrono::duration<double, std::nano>(fill).count() / n;
    state.counters["ratio"] = double(render.count()) / double(fill.count());
    state.counters["pixels"] = double(lines) * span;
}
BENCHMARK(BM_RenderLedsAgainstFill)
    ->ArgNames({"W", "H"})
    ->Args({1, 8})
    ->Args({4, 8})
    ->Args({8, 8})
    ->Args({12, 16})
    ->Args({16, 16})
    ->Args({24, 8})
    ->Args({24, 16})
    ->UseManualTime();

/// Painting a frame that has not changed: the comparison alone.
void BM_RenderChangedLedsUnchanged(benchmark::State& state) {
    const SignGeometry g = sign(24, 16);
    const FrameBuffer b = pattern(g);
    LedBitmap bmp;
    RenderLeds(g, b, bmp);
    for (auto _ : state) {
        benchmark::DoNotOptimize(RenderChangedLeds(g, b, bmp));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RenderChangedLedsUnchanged);

void BM_DrawGlyph(benchmark::State& state) {
    const SignGeometry g = sign(24, 16);
    std::vector<std::uint8_t> data(128 * 16);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint8_t(i * 37);
    FontTable fonts{};
    fonts[6] = {data.data(), data.size(), 8, 16, 0, 0};
    FrameBuffer b{};
    for (auto _ : state) {
        // One line of text: 24 glyphs with spacing, at odd bit offsets.
        int x = 3;
        for (int c = 0; c < 24; ++c)
            DrawGlyph(g, fonts, b, 6, x, 0, 16, true, std::uint8_t(65 + c), 0);
        benchmark::DoNotOptimize(b.data());
    }
    state.SetItemsProcessed(state.iterations() * 24);
}
BENCHMARK(BM_DrawGlyph);

void BM_ShiftRowsLeft(benchmark::State& state) {
    const SignGeometry g = sign(24, 16);
    FrameBuffer b = pattern(g);
    for (auto _ : state) {
        ShiftRowsLeft(g, b, 0, 16);
        benchmark::DoNotOptimize(b.data());
    }
}
BENCHMARK(BM_ShiftRowsLeft);

} // namespace
