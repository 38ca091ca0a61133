#pragma once

#include <cstdint>
#include <string>

namespace pixbar {

/// The system's millisecond tick count as the stopwatch reads it; it wraps at 2^32.
class TickCount {
public:
    virtual ~TickCount() = default;
    virtual std::uint32_t now() const = 0;
};

/// Milliseconds of the monotonic system clock, cut to 32 bits.
class SystemTickCount final : public TickCount {
public:
    std::uint32_t now() const override;
};

/// A tick count moved by hand (tests, or a paused demonstration).
class ManualTickCount final : public TickCount {
public:
    explicit ManualTickCount(std::uint32_t start = 0) : m_now(start) {}
    std::uint32_t now() const override { return m_now; }
    void advance(std::uint32_t ms) { m_now += ms; }
    void set(std::uint32_t ms) { m_now = ms; }

private:
    std::uint32_t m_now;
};

/// "HH:MM:SS" of a millisecond count; the hours are not wrapped (100 hours give "100:00:00").
std::string FormatStopwatchTime(std::uint32_t ms);

/// The sign's escape that precedes the time on every tick.
inline constexpr const char* kStopwatchTextPrefix = "\\E02";
/// The sign's slot beside the eight messages, used for the time and the operator's text.
inline constexpr int kStopwatchSlot = 9;

enum class StopwatchState : std::uint8_t { Stopped = 0, Running = 1, TextShown = 2 };

/// The stopwatch's count: when it started, when it stopped, and whether the next start resumes.
/// Unsigned 32-bit arithmetic makes one wrap of the tick counter harmless.
class Stopwatch {
public:
    explicit Stopwatch(const TickCount& ticks) : m_ticks(ticks) {}

    /// A fresh showing of the window: stopped, and the next start counts from zero.
    void reset();
    /// Starts counting: resumes after a stop, otherwise from zero.
    void start();
    /// Remembers the stop time so that the next start resumes from here.
    void stop();
    /// "Kasuj": the count restarts from zero now and the next start does not resume.
    void restart();

    /// Milliseconds since the (pause-shifted) start.
    std::uint32_t elapsed() const { return m_ticks.now() - m_startTick; }

    StopwatchState state = StopwatchState::Stopped;
    bool paused() const { return m_paused; }

private:
    const TickCount& m_ticks;
    std::uint32_t m_startTick = 0;
    std::uint32_t m_stopTick = 0;
    bool m_paused = false;
};

} // namespace pixbar
