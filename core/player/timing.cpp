#include "timing.h"

#include <ctime>

#ifdef __linux__
#include <pthread.h>
#endif

namespace pixbar {

namespace {

void countDownOne(std::atomic<std::uint32_t>& counter) {
    // Only a counter above 0 goes down; a value assigned meanwhile makes the exchange retry.
    std::uint32_t value = counter.load();
    while (value > 0 && !counter.compare_exchange_weak(value, value - 1)) {
    }
}

} // namespace

TickCounters::TickCounters(const TickCounters& other)
    : StepDelayUpper(other.StepDelayUpper.load()), StepDelayLower(other.StepDelayLower.load()),
      DisplayTimeCounter(other.DisplayTimeCounter.load()) {}

TickCounters& TickCounters::operator=(const TickCounters& other) {
    StepDelayUpper = other.StepDelayUpper.load();
    StepDelayLower = other.StepDelayLower.load();
    DisplayTimeCounter = other.DisplayTimeCounter.load();
    return *this;
}

void TickCounters::countDown() {
    countDownOne(StepDelayUpper);
    countDownOne(StepDelayLower);
    countDownOne(DisplayTimeCounter);
}

void TickCounters::reset() {
    StepDelayUpper = 0;
    DisplayTimeCounter = 0;
}

RealTickSource::RealTickSource(TickCounters& counters, std::chrono::steady_clock::duration period)
    : m_counters(counters), m_period(period), m_thread([this] { run(); }) {}

RealTickSource::~RealTickSource() {
    stop();
}

void RealTickSource::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_tickArrived.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void RealTickSource::hold() {
    std::lock_guard lock(m_mutex);
    ++m_holds;
    m_wanted = true;
    if (m_resting) m_wake.notify_one();
}

void RealTickSource::release() {
    // The thread notices at its next deadline and rests then; one wake either way.
    std::lock_guard lock(m_mutex);
    if (m_holds > 0) --m_holds;
}

bool RealTickSource::resting() const {
    std::lock_guard lock(m_mutex);
    return m_resting;
}

void RealTickSource::run() {
#ifdef __linux__
    pthread_setname_np(pthread_self(), kThreadName);
#endif
    using Steady = std::chrono::steady_clock;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_resting = true;
        while (!m_stop && !needed()) {
            m_wake.wait(lock);
            m_wakeups.fetch_add(1);
        }
        m_resting = false;
        if (m_stop) return;
        auto deadline = Steady::now() + m_period;
        for (;;) {
            m_wake.wait_until(lock, deadline);
            m_wakeups.fetch_add(1);
            if (m_stop) return;
            const auto now = Steady::now();
            if (now < deadline) continue; // woken before the deadline
            // A waiter between two waits still wants the next tick: it rests only when the
            // whole period passed without a hold or a waiter.
            if (!needed() && !m_wanted) break;
            m_wanted = false;
            // Deadlines stay on the grid of the start, so late wake-ups do not add up.
            int due = 0;
            while (deadline <= now && due <= kMaxCatchUp) {
                deadline += m_period;
                ++due;
            }
            if (deadline <= now) deadline = now + m_period; // asleep for long: a new schedule
            for (int i = 0; i < due; ++i) {
                m_counters.countDown();
                m_ticks.fetch_add(1);
            }
            // Notified after unlocking, so a waiter does not wake only to block on the mutex.
            lock.unlock();
            m_tickArrived.notify_all();
            lock.lock();
        }
    }
}

void RealTickSource::waitForTick(std::uint64_t seen, std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    ++m_waiters;
    m_wanted = true;
    if (m_resting) m_wake.notify_one();
    m_tickArrived.wait_for(lock, limit, [&] { return m_ticks.load() > seen || m_stop; });
    --m_waiters;
    m_wanted = true;
}

void ManualTickSource::advance(std::uint64_t count) {
    for (std::uint64_t i = 0; i < count; ++i) {
        m_counters.countDown();
        ++m_ticks;
    }
}

void ManualTickSource::waitForTick(std::uint64_t seen, std::chrono::milliseconds) {
    if (m_ticks <= seen) advance(seen + 1 - m_ticks);
}

LocalDateTime SystemClock::now() const {
    const std::time_t t = std::time(nullptr);
    // Only the GUI thread reads the clock, so the shared result of localtime is safe here.
    const std::tm* tm = std::localtime(&t);
    if (!tm) return {};
    return {tm->tm_year + 1900, tm->tm_mon + 1, tm->tm_mday, tm->tm_hour, tm->tm_min};
}

} // namespace pixbar
