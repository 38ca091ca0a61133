#pragma once

#include "schedule.h"

#include <QDateTime>
#include <QTimeZone>

#include <functional>
#include <optional>
#include <vector>

namespace pixbar::service {

/// The wall clock and time zone a schedule runs by; tests give their own.
struct ScheduleTime {
    std::function<QDateTime()> now;
    QTimeZone zone;
    /// The machine's clock and its local time zone.
    static ScheduleTime system();
};

/// An entry and the instant it is (or was) due.
struct DueEntry {
    QDateTime at;
    ScheduleEntry entry;
};

/// The instant `entry` is due on the local `date`, invalid when the day is not one of its days.
/// A time the clocks jump over is due at the jump; a time that happens twice is due once.
QDateTime DueOn(const ScheduleEntry& entry, QDate date, const QTimeZone& zone);
/// The first instant after `after` at which `entry` is due.
std::optional<QDateTime> NextDue(const ScheduleEntry& entry, const QDateTime& after,
                                 const QTimeZone& zone);
/// Every entry due in (last, now], by instant and then by file order.
std::vector<DueEntry> DueBetween(const std::vector<ScheduleEntry>& entries, const QDateTime& last,
                                 const QDateTime& now, const QTimeZone& zone);
/// The state the schedule says holds at `now`: the latest show, brightness, speed, display
/// time and live text due in the week before, by instant. Messages and sets are not repeated.
std::vector<DueEntry> CatchUp(const std::vector<ScheduleEntry>& entries, const QDateTime& now,
                              const QTimeZone& zone);

/// What one sign's schedule runs and when, without timers: the adapter asks it at start, when
/// the sign comes online and at each wake-up, and sleeps until `nextWake`.
class ScheduleRunner {
public:
    /// An entry missed by more than this (a late timer, a clock set forward, a machine that
    /// slept) is not run; the runner catches up instead.
    static constexpr qint64 kMaxLateSeconds = 15 * 60;
    /// A clock set back by more than this is taken as the right time from now on.
    static constexpr qint64 kMaxBackSeconds = 24 * 60 * 60;

    explicit ScheduleRunner(QTimeZone zone);

    /// The file's entries; the daily clock at 03:00 is added. Already run instants stay run.
    void setEntries(std::vector<ScheduleEntry> entries);
    const std::vector<ScheduleEntry>& entries() const { return m_entries; }

    /// The sign's clock and the state that should hold now (at start and when a sign comes
    /// online).
    std::vector<DueEntry> catchUp(const QDateTime& now);
    /// The entries due since the last call, in order; the first call catches up.
    std::vector<DueEntry> advance(const QDateTime& now);
    /// When `advance` has something to run next; nothing before the first catch-up.
    std::optional<QDateTime> nextWake() const;

private:
    QTimeZone m_zone;
    std::vector<ScheduleEntry> m_entries; ///< the file's, then the daily clock
    std::optional<QDateTime> m_last;      ///< every entry due up to here has run
};

} // namespace pixbar::service
