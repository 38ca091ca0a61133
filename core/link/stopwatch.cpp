#include "stopwatch.h"

#include <chrono>
#include <cstdio>

namespace pixbar {

namespace {
constexpr std::uint32_t kMsPerHour = 3600000;
constexpr std::uint32_t kMsPerMinute = 60000;
constexpr std::uint32_t kMsPerSecond = 1000;
} // namespace

std::uint32_t SystemTickCount::now() const {
    using namespace std::chrono;
    return std::uint32_t(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::string FormatStopwatchTime(std::uint32_t ms) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", unsigned(ms / kMsPerHour),
                  unsigned(ms / kMsPerMinute % 60), unsigned(ms / kMsPerSecond % 60));
    return text;
}

void Stopwatch::reset() {
    state = StopwatchState::Stopped;
    m_paused = false;
}

void Stopwatch::start() {
    const std::uint32_t now = m_ticks.now();
    if (m_paused)
        m_startTick += now - m_stopTick;
    else
        m_startTick = now;
}

void Stopwatch::stop() {
    m_stopTick = m_ticks.now();
    m_paused = true;
}

void Stopwatch::restart() {
    m_startTick = m_ticks.now();
    m_paused = false;
}

} // namespace pixbar
