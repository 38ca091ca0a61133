#include "filmstrip.h"

#include <algorithm>

namespace pixbar {

HeadlessTest::HeadlessTest(Emulator& emulator, const Clock& clock, const PreviewSettings& settings)
    : m_emulator(emulator), m_ticks(emulator.counters),
      m_driver(emulator, m_ticks, clock, settings) {
    m_driver.setPaintLeds(false);
}

bool HeadlessTest::start(const std::array<MessageRecord, kPageCount>& pages, int index) {
    if (!m_driver.start(pages, index)) return false;
    m_driver.poll();
    return true;
}

void HeadlessTest::runTo(std::uint64_t tick) {
    while (m_ticks.ticks() < tick) {
        m_ticks.advance(1);
        m_driver.poll();
    }
}

std::array<std::uint32_t, 2> HeadlessTest::passes() const {
    const Player& p = m_driver.player();
    return {p.upper().passes, p.hasLower() ? p.lower().passes : 0};
}

std::uint64_t SampleStrip(HeadlessTest& test, const StripTicks& ticks,
                          const std::function<void(std::uint64_t, const FrameBuffer&)>& take) {
    if (ticks.every != 0) {
        for (std::uint64_t n = 0; n < ticks.count; ++n) {
            const std::uint64_t at = ticks.first + n * ticks.every;
            test.runTo(at);
            take(at, test.frame());
        }
        return ticks.first + ticks.count * ticks.every;
    }
    test.runTo(ticks.first);
    // A line that has not read its first cell yet is still before its first pass.
    const auto begun = test.passes();
    const std::array<std::uint32_t, 2> next{std::max(begun[0], 1u) + 1, std::max(begun[1], 1u) + 1};
    const bool lower = test.hasLower();
    auto over = [&] {
        const auto now = test.passes();
        return !test.playing() || (now[0] >= next[0] && (!lower || now[1] >= next[1]));
    };
    const std::uint64_t last = ticks.first + kMaxPassTicks;
    std::uint64_t at = ticks.first;
    // The picture of the tick on which the next pass begins belongs to that pass.
    do {
        take(at, test.frame());
        test.runTo(++at);
    } while (at < last && !over());
    return at;
}

bool SamePicture(const SignGeometry& g, const FrameBuffer& a, const FrameBuffer& b) {
    for (int y = 0; y < g.height; ++y) {
        const auto row = std::ptrdiff_t(y) * g.stride;
        if (!std::equal(a.begin() + row, a.begin() + row + g.width, b.begin() + row)) return false;
    }
    return true;
}

} // namespace pixbar
