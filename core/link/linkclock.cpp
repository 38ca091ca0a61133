#include "linkclock.h"

#include <QDateTime>

#include <chrono>
#include <thread>

namespace pixbar {

std::int64_t SystemLinkClock::elapsedMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SystemLinkClock::sleepMs(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

LocalTime SystemLinkClock::localTime() {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

SystemLinkClock& SystemLinkClock::instance() {
    static SystemLinkClock clock;
    return clock;
}

} // namespace pixbar
