#pragma once

#include <cstdint>

namespace pixbar {

/// Local wall-clock time as the sign's clock command needs it.
struct LocalTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

/// Time as the device link sees it: a monotonic count, a pause and the local time.
/// The program uses SystemLinkClock; tests use a fake one so retries cost no real time.
class LinkClock {
public:
    virtual ~LinkClock() = default;
    /// Monotonic time in milliseconds from an arbitrary start.
    virtual std::int64_t elapsedMs() = 0;
    virtual void sleepMs(int ms) = 0;
    virtual LocalTime localTime() = 0;
};

class SystemLinkClock : public LinkClock {
public:
    std::int64_t elapsedMs() override;
    void sleepMs(int ms) override;
    LocalTime localTime() override;

    /// The one process-wide system clock (it has no state).
    static SystemLinkClock& instance();
};

} // namespace pixbar
