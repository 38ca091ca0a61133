#include "scheduletimes.h"

#include <algorithm>
#include <map>

namespace pixbar::service {

namespace {

constexpr int kDaysLookedBack = 7;
// Far enough to find the next day of any entry, whatever its days.
constexpr int kDaysLookedAhead = 8;

void sortByInstant(std::vector<DueEntry>& due) {
    std::stable_sort(due.begin(), due.end(),
                     [](const DueEntry& a, const DueEntry& b) { return a.at < b.at; });
}

} // namespace

ScheduleTime ScheduleTime::system() {
    return {[] { return QDateTime::currentDateTimeUtc(); }, QTimeZone::systemTimeZone()};
}

QDateTime DueOn(const ScheduleEntry& entry, QDate date, const QTimeZone& zone) {
    if (!date.isValid() || !entry.onDay(date.dayOfWeek())) return {};
    const QTime time(entry.minute / 60, entry.minute % 60);
    const QDateTime due(date, time, zone);
    if (due.isValid() && due.date() == date && due.time() == time) return due;
    // The clocks jumped over this time: it is due at the jump.
    const QTimeZone::OffsetData jump = zone.nextTransition(QDateTime(date, QTime(0, 0), zone));
    if (jump.atUtc.isValid() && jump.atUtc.toTimeZone(zone).date() == date)
        return jump.atUtc.toTimeZone(zone);
    return due;
}

std::optional<QDateTime> NextDue(const ScheduleEntry& entry, const QDateTime& after,
                                 const QTimeZone& zone) {
    const QDate first = after.toTimeZone(zone).date().addDays(-1);
    for (int d = 0; d <= kDaysLookedAhead + 1; ++d) {
        const QDateTime due = DueOn(entry, first.addDays(d), zone);
        if (due.isValid() && due > after) return due;
    }
    return std::nullopt;
}

std::vector<DueEntry> DueBetween(const std::vector<ScheduleEntry>& entries, const QDateTime& last,
                                 const QDateTime& now, const QTimeZone& zone) {
    std::vector<DueEntry> due;
    if (!(last < now)) return due;
    const QDate from = last.toTimeZone(zone).date().addDays(-1);
    const QDate to = now.toTimeZone(zone).date().addDays(1);
    for (QDate date = from; date <= to; date = date.addDays(1))
        for (const ScheduleEntry& e : entries) {
            const QDateTime at = DueOn(e, date, zone);
            if (at.isValid() && last < at && at <= now) due.push_back({at, e});
        }
    sortByInstant(due);
    return due;
}

std::vector<DueEntry> CatchUp(const std::vector<ScheduleEntry>& entries, const QDateTime& now,
                              const QTimeZone& zone) {
    const std::vector<DueEntry> week =
        DueBetween(entries, now.addDays(-kDaysLookedBack), now, zone);
    // The latest of each kind; the week is in order, so a later one replaces an earlier one.
    std::map<ScheduleAction, DueEntry> latest;
    for (const DueEntry& d : week) {
        switch (d.entry.action) {
        case ScheduleAction::Show:
        case ScheduleAction::Brightness:
        case ScheduleAction::Speed:
        case ScheduleAction::DisplayTime:
        case ScheduleAction::Live:
            latest.insert_or_assign(d.entry.action, d);
            break;
        case ScheduleAction::Message:
        case ScheduleAction::Set:
        case ScheduleAction::Clock:
            break;
        }
    }
    std::vector<DueEntry> state;
    for (auto& [action, d] : latest) state.push_back(std::move(d));
    // Entries of one instant go in the order of the file.
    std::sort(state.begin(), state.end(), [](const DueEntry& a, const DueEntry& b) {
        return a.at != b.at ? a.at < b.at : a.entry.line < b.entry.line;
    });
    return state;
}

ScheduleRunner::ScheduleRunner(QTimeZone zone) : m_zone(std::move(zone)) {
    setEntries({});
}

void ScheduleRunner::setEntries(std::vector<ScheduleEntry> entries) {
    m_entries = std::move(entries);
    m_entries.push_back(DailyClockEntry());
}

std::vector<DueEntry> ScheduleRunner::catchUp(const QDateTime& now) {
    std::vector<DueEntry> run{{now, DailyClockEntry()}};
    for (DueEntry& d : CatchUp(m_entries, now, m_zone)) run.push_back(std::move(d));
    // A clock set back keeps what already ran as run.
    if (!m_last || *m_last < now) m_last = now;
    return run;
}

std::vector<DueEntry> ScheduleRunner::advance(const QDateTime& now) {
    if (!m_last) return catchUp(now);
    if (now <= *m_last) {
        // Set back: what ran stays run, unless the old time was plainly wrong.
        if (now.secsTo(*m_last) > kMaxBackSeconds) {
            m_last.reset();
            return catchUp(now);
        }
        return {};
    }
    // Every day has its clock at 03:00, so a longer gap always holds a late entry.
    if (m_last->daysTo(now) > kDaysLookedBack) return catchUp(now);
    std::vector<DueEntry> due = DueBetween(m_entries, *m_last, now, m_zone);
    if (!due.empty() && due.front().at.secsTo(now) > kMaxLateSeconds) return catchUp(now);
    m_last = now;
    return due;
}

std::optional<QDateTime> ScheduleRunner::nextWake() const {
    std::optional<QDateTime> next;
    if (!m_last) return next;
    for (const ScheduleEntry& e : m_entries)
        if (const auto at = NextDue(e, *m_last, m_zone); at && (!next || *at < *next)) next = at;
    return next;
}

} // namespace pixbar::service
