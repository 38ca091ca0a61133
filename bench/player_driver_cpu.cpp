// CPU time of the driver while it plays a scrolling message at speed 1 for 10 s on a
// 24 x 16 sign with the real tick, painting after every step. Goal: under 1 % of one core.

#include "player_setup.h"
#include "previewdriver.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>

using namespace playerbench;

namespace {

/// Processor time of the whole process (driver and tick thread).
double processCpuSeconds() {
    return double(std::clock()) / CLOCKS_PER_SEC;
}

} // namespace

static void BM_DriverCpuScroller(benchmark::State& state) {
    for (auto _ : state) {
        auto emu = makeSign();
        RealTickSource ticks(emu->counters);
        FixedClock clock({2026, 12, 6, 9, 5});
        PreviewSettings settings;
        settings.speed = 1;
        PreviewDriver driver(*emu, ticks, clock, settings);
        long repaints = 0;
        long passes = 0;
        driver.setRepaint([&] { ++repaints; });
        driver.start(textMessage(200), MessageRecord{});

        const auto wallStart = std::chrono::steady_clock::now();
        const double cpuStart = processCpuSeconds();
        driver.run([&] {
            ++passes;
            if (std::chrono::steady_clock::now() - wallStart >= std::chrono::seconds(10))
                driver.stop();
        });
        const double cpu = processCpuSeconds() - cpuStart;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        state.counters["cpu_percent_of_core"] = 100.0 * cpu / wall;
        state.counters["cpu_ms"] = cpu * 1000.0;
        state.counters["steps_painted"] = double(repaints);
        state.counters["passes"] = double(passes);
    }
}
BENCHMARK(BM_DriverCpuScroller)->Iterations(1)->Unit(benchmark::kMillisecond);
