#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace pixbar {

/// One period of the player's clock.
inline constexpr std::chrono::milliseconds kTickPeriod{12};

/// The three counters the tick counts down; the GUI thread assigns them and tests them for 0.
struct TickCounters {
    std::atomic<std::uint32_t> StepDelayUpper{0};
    std::atomic<std::uint32_t> StepDelayLower{0};
    std::atomic<std::uint32_t> DisplayTimeCounter{0};

    TickCounters() = default;
    /// A copy takes a snapshot of the values.
    TickCounters(const TickCounters& other);
    TickCounters& operator=(const TickCounters& other);

    /// One tick: every counter above 0 goes down by one.
    void countDown();
    /// What InitEmulator clears: the upper step delay and the display time.
    void reset();
};

/// The periodic 12 ms tick of the player. It need only run while someone holds it (a test
/// plays) or waits for it; at rest the counters keep their values until it runs again.
class TickSource {
public:
    virtual ~TickSource() = default;
    /// Ticks counted since the source started.
    virtual std::uint64_t ticks() const = 0;
    /// Returns once more than `seen` ticks have been counted, or after `limit` at the latest.
    virtual void waitForTick(std::uint64_t seen, std::chrono::milliseconds limit) = 0;
    /// The player needs the tick from now on; every hold is ended by one release.
    virtual void hold() = 0;
    /// Ends a hold; with no hold and no waiter left the tick rests.
    virtual void release() = 0;
};

/// A thread that ticks every 12 ms while held or waited for, sleeping to absolute deadlines so
/// that it never drifts. At rest it sleeps without a deadline, so an idle designer is never
/// woken by it; each run after a rest begins a new schedule (no ticks are made up for the rest).
class RealTickSource final : public TickSource {
public:
    explicit RealTickSource(TickCounters& counters,
                            std::chrono::steady_clock::duration period = kTickPeriod);
    ~RealTickSource() override;
    RealTickSource(const RealTickSource&) = delete;
    RealTickSource& operator=(const RealTickSource&) = delete;

    std::uint64_t ticks() const override { return m_ticks.load(); }
    /// A waiter wakes a resting tick for as long as it waits.
    void waitForTick(std::uint64_t seen, std::chrono::milliseconds limit) override;
    void hold() override;
    /// The tick rests at its next deadline when nothing has held or waited for it in the last
    /// period; no tick is counted from then until it is needed again.
    void release() override;
    /// Ends the thread; no tick is counted after it returns.
    void stop();

    /// Times the thread has woken from its sleep, at a deadline or when called.
    std::uint64_t wakeups() const { return m_wakeups.load(); }
    /// True while the thread sleeps without a deadline.
    bool resting() const;

    /// A late thread catches up with at most this many ticks, then starts a new schedule.
    static constexpr int kMaxCatchUp = 8;
    /// The thread's name, as tools that list a process's threads show it.
    static constexpr char kThreadName[] = "pixbar-tick";

private:
    void run();
    bool needed() const { return m_holds > 0 || m_waiters > 0; }

    TickCounters& m_counters;
    const std::chrono::steady_clock::duration m_period;
    std::atomic<std::uint64_t> m_ticks{0};
    std::atomic<std::uint64_t> m_wakeups{0};
    mutable std::mutex m_mutex;
    std::condition_variable m_tickArrived;
    std::condition_variable m_wake; ///< held, waited for or stopped
    bool m_stop = false;
    bool m_resting = true;
    int m_holds = 0;
    int m_waiters = 0;
    bool m_wanted = false; ///< held or waited for since the last tick
    std::thread m_thread;
};

/// A tick source for tests and headless playing: time moves only when told to.
class ManualTickSource final : public TickSource {
public:
    explicit ManualTickSource(TickCounters& counters) : m_counters(counters) {}

    /// Lets `count` ticks pass at once.
    void advance(std::uint64_t count = 1);

    std::uint64_t ticks() const override { return m_ticks; }
    /// Waiting lets the next tick pass at once, so a waiting player plays in simulated time.
    void waitForTick(std::uint64_t seen, std::chrono::milliseconds limit) override;
    /// Holds are only counted: time still moves only when told.
    void hold() override { ++m_holds; }
    void release() override { --m_holds; }
    /// Holds not yet released; below 0 after a release without a hold.
    int holds() const { return m_holds; }

private:
    TickCounters& m_counters;
    std::uint64_t m_ticks = 0;
    int m_holds = 0;
};

/// Local date and time as the time and date fields show them.
struct LocalDateTime {
    int year = 2000;
    int month = 1; ///< 1..12
    int day = 1;   ///< 1..31
    int hour = 0;  ///< 0..23
    int minute = 0;
};

/// The clock that fills the time and date fields.
class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalDateTime now() const = 0;
};

/// The computer's local time.
class SystemClock final : public Clock {
public:
    LocalDateTime now() const override;
};

/// A clock that shows what it is told.
class FixedClock final : public Clock {
public:
    explicit FixedClock(LocalDateTime time = {}) : m_time(time) {}
    void set(LocalDateTime time) { m_time = time; }
    LocalDateTime now() const override { return m_time; }

private:
    LocalDateTime m_time;
};

} // namespace pixbar
