// Fidelity of the real 12 ms tick over 5 s: mean period (goal 12.00 ms within 0.05 ms) and
// drift against the wall clock.

#include "timing.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <vector>

using namespace pixbar;
using Steady = std::chrono::steady_clock;

namespace {

/// Earliest moment, less n periods, at which a waiter saw tick n, over a window of ticks. A
/// waiter sees each tick late by its own wake-up time; the earliest sighting filters that out.
double earliestOffset(const std::vector<std::pair<double, double>>& seen, std::size_t from,
                      std::size_t to) {
    double best = std::numeric_limits<double>::max();
    for (std::size_t i = from; i < to; ++i)
        best = std::min(best, seen[i].second - seen[i].first * 12.0);
    return best;
}

} // namespace

static void BM_TickFidelity(benchmark::State& state) {
    for (auto _ : state) {
        TickCounters counters;
        RealTickSource ticks(counters);
        std::vector<std::pair<double, double>> seen; // (tick number, milliseconds)
        const auto start = Steady::now();
        std::uint64_t last = ticks.ticks();
        double longest = 0;
        while (Steady::now() - start < std::chrono::seconds(5)) {
            ticks.waitForTick(last, std::chrono::milliseconds(50));
            const std::uint64_t now = ticks.ticks();
            if (now == last) continue;
            const double ms =
                std::chrono::duration<double, std::milli>(Steady::now() - start).count();
            if (!seen.empty())
                longest = std::max(longest, (ms - seen.back().second) / double(now - last));
            seen.emplace_back(double(now), ms);
            last = now;
        }
        const std::size_t window = std::min<std::size_t>(seen.size() / 4, 80);
        const double startOffset = earliestOffset(seen, 0, window);
        const double endOffset = earliestOffset(seen, seen.size() - window, seen.size());
        const double span = seen.back().first - seen.front().first;
        state.counters["ticks"] = span;
        state.counters["drift_ms"] = endOffset - startOffset;
        state.counters["mean_period_ms"] =
            (seen.back().second - seen.front().second) / span; // as a waiter sees it
        state.counters["longest_gap_ms"] = longest;
    }
}
BENCHMARK(BM_TickFidelity)->Iterations(1)->Unit(benchmark::kMillisecond);
