#include "scheduletimes.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

namespace pixbar::service {
namespace {

const QTimeZone kWarsaw("Europe/Warsaw");

QDateTime local(int y, int mo, int d, int h, int mi) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi), kWarsaw);
}

std::vector<ScheduleEntry> entries(const char* text) {
    const Schedule s = ParseSchedule(text);
    EXPECT_TRUE(s.ok()) << s.errors.front().where();
    return s.entries;
}

std::string iso(const QDateTime& t) {
    return t.toTimeZone(kWarsaw).toString(Qt::ISODate).toStdString();
}

/// "07:30 show 2" for each run, in order.
std::vector<std::string> names(const std::vector<DueEntry>& due) {
    std::vector<std::string> out;
    for (const DueEntry& d : due) out.push_back(d.entry.timeText() + " " + d.entry.actionText);
    return out;
}

TEST(ScheduleTimes, WarsawIsKnown) {
    ASSERT_TRUE(kWarsaw.isValid());
}

TEST(ScheduleTimes, DueOnTheDaysItNames) {
    const auto e = entries("pn-pt 07:30 show 2")[0];
    // 2026-12-07 is a Monday.
    EXPECT_EQ(iso(DueOn(e, QDate(2026, 12, 7), kWarsaw)), "2026-12-07T07:30:00+01:00");
    EXPECT_EQ(iso(DueOn(e, QDate(2026, 12, 11), kWarsaw)), "2026-12-11T07:30:00+01:00");
    EXPECT_FALSE(DueOn(e, QDate(2026, 12, 12), kWarsaw).isValid());
    EXPECT_FALSE(DueOn(e, QDate(2026, 12, 13), kWarsaw).isValid());
    EXPECT_EQ(iso(*NextDue(e, local(2026, 12, 11, 7, 30), kWarsaw)), "2026-12-14T07:30:00+01:00");
    EXPECT_EQ(iso(*NextDue(e, local(2026, 12, 11, 7, 29), kWarsaw)), "2026-12-11T07:30:00+01:00");
    EXPECT_EQ(iso(*NextDue(e, local(2026, 7, 1, 8, 0), kWarsaw)), "2026-07-02T07:30:00+02:00");
}

TEST(ScheduleTimes, SpringForwardRunsAMissingTimeAtTheJump) {
    // 29 March 2026: 02:00 becomes 03:00.
    const auto e = entries("nd 02:30 show 3")[0];
    EXPECT_EQ(iso(DueOn(e, QDate(2026, 3, 29), kWarsaw)), "2026-03-29T03:00:00+02:00");
    const auto due = DueBetween(entries("nd 02:30 show 3\nnd 03:00 show 4\nnd 01:59 show 5"),
                                local(2026, 3, 28, 12, 0), local(2026, 3, 29, 12, 0), kWarsaw);
    EXPECT_EQ(names(due), (std::vector<std::string>{"01:59 show 5", "02:30 show 3", "03:00 show 4"}));
}

TEST(ScheduleTimes, FallBackRunsARepeatedTimeOnce) {
    // 25 October 2026: 03:00 becomes 02:00, so 02:00..02:59 happen twice.
    const auto list = entries("nd 02:30 show 3\ncodziennie 02:59 brightness 5");
    const auto due = DueBetween(list, local(2026, 10, 24, 12, 0), local(2026, 10, 25, 12, 0), kWarsaw);
    EXPECT_EQ(names(due), (std::vector<std::string>{"02:30 show 3", "02:59 brightness 5"}));
}

/// Runs a runner over [from, to] in random steps and counts each entry's runs per local day.
std::map<std::pair<int, QDate>, int> runsOver(ScheduleRunner& runner, QDateTime from,
                                              const QDateTime& to, std::mt19937& random,
                                              int maxStep) {
    std::map<std::pair<int, QDate>, int> runs;
    runner.advance(from);
    QDateTime last = from;
    std::uniform_int_distribution<int> step(1, maxStep);
    for (QDateTime now = from; now < to;) {
        const auto wake = runner.nextWake();
        EXPECT_TRUE(wake.has_value());
        now = now.addSecs(step(random));
        for (const DueEntry& d : runner.advance(now)) {
            // Nothing runs before it is due or is held back past a wake-up.
            EXPECT_LE(d.at, now);
            EXPECT_GT(d.at, last);
            EXPECT_GE(d.at, *wake);
            ++runs[{d.entry.line, d.at.toTimeZone(kWarsaw).date()}];
        }
        last = now;
    }
    return runs;
}

TEST(ScheduleRunner, EachEntryRunsOnceADayAcrossBothChangesOfTime) {
    const auto list = entries("codziennie 02:30 show 1\n"
                              "codziennie 23:59 brightness 50\n"
                              "codziennie 00:00 speed 3\n"
                              "pn,śr,pt 02:00 message 1 a.txt\n"
                              "nd 03:00 displaytime 7\n");
    std::mt19937 random(20261025);
    for (const auto& [start, end] :
         {std::pair{local(2026, 3, 25, 12, 0), local(2026, 4, 2, 12, 0)},
          std::pair{local(2026, 10, 21, 12, 0), local(2026, 10, 29, 12, 0)},
          std::pair{local(2026, 12, 7, 0, 0), local(2026, 12, 14, 0, 0)}}) {
        for (int round = 0; round < 5; ++round) {
            ScheduleRunner runner(kWarsaw);
            runner.setEntries(list);
            const auto runs = runsOver(runner, start, end, random, 900);
            std::map<std::pair<int, QDate>, int> expected;
            for (QDate date = start.date().addDays(1); date < end.date(); date = date.addDays(1))
                for (const ScheduleEntry& e : runner.entries())
                    if (e.onDay(date.dayOfWeek())) expected[{e.line, date}] = 1;
            for (const auto& [key, count] : expected)
                EXPECT_EQ(runs.count(key) ? runs.at(key) : 0, count)
                    << "line " << key.first << " on " << key.second.toString().toStdString();
        }
    }
}

TEST(ScheduleRunner, AWeekAcrossMidnightInOrder) {
    ScheduleRunner runner(kWarsaw);
    runner.setEntries(entries("codziennie 23:59 show 1\ncodziennie 00:00 show 2\n"
                              "pn 00:00 brightness 10\nnd 23:59 live Dobranoc\n"));
    runner.advance(local(2026, 12, 13, 23, 0)); // Sunday
    std::vector<std::string> ran;
    for (QDateTime now = local(2026, 12, 13, 23, 0); now < local(2026, 12, 14, 0, 30);
         now = now.addSecs(60))
        for (const auto& n : names(runner.advance(now))) ran.push_back(n);
    EXPECT_EQ(ran, (std::vector<std::string>{"23:59 show 1", "23:59 live Dobranoc", "00:00 show 2",
                                             "00:00 brightness 10"}));
    EXPECT_EQ(iso(*runner.nextWake()), "2026-12-14T03:00:00+01:00"); // the daily clock
}

TEST(ScheduleRunner, CatchUpGivesTheLatestStateNotMessages) {
    ScheduleRunner runner(kWarsaw);
    runner.setEntries(entries("pn-pt 07:30 show 2\n"
                              "pn-pt 17:00 show 1\n"
                              "codziennie 22:00 brightness 20\n"
                              "codziennie 06:00 brightness 90\n"
                              "sb 10:00 speed 5\n"
                              "pn 08:00 message 1 a.txt\n"
                              "pn 08:05 set b.kzb\n"
                              "wt 09:00 live Promocja\n"
                              "wt 12:00 live\n"));
    // Started on Wednesday 9 December 2026 at 12:00.
    const auto run = runner.advance(local(2026, 12, 9, 12, 0));
    EXPECT_EQ(names(run), (std::vector<std::string>{"03:00 clock", "10:00 speed 5", "12:00 live",
                                                    "06:00 brightness 90", "07:30 show 2"}));
    EXPECT_EQ(iso(run[0].at), "2026-12-09T12:00:00+01:00");
    // Nothing more until the next entry, which runs alone.
    EXPECT_TRUE(runner.advance(local(2026, 12, 9, 16, 0)).empty());
    EXPECT_EQ(iso(*runner.nextWake()), "2026-12-09T17:00:00+01:00");
    EXPECT_EQ(names(runner.advance(local(2026, 12, 9, 17, 0))),
              std::vector<std::string>{"17:00 show 1"});
}

TEST(ScheduleRunner, ComingOnlineCatchesUpAgain) {
    ScheduleRunner runner(kWarsaw);
    runner.setEntries(entries("codziennie 08:00 show 4\ncodziennie 08:10 message 2 a.txt"));
    runner.advance(local(2026, 12, 9, 7, 0));
    EXPECT_EQ(names(runner.advance(local(2026, 12, 9, 8, 10))),
              (std::vector<std::string>{"08:00 show 4", "08:10 message 2 a.txt"}));
    EXPECT_EQ(names(runner.catchUp(local(2026, 12, 9, 9, 0))),
              (std::vector<std::string>{"03:00 clock", "08:00 show 4"}));
    EXPECT_TRUE(runner.advance(local(2026, 12, 9, 9, 1)).empty());
}

TEST(ScheduleRunner, AClockSetBackRunsNothingTwice) {
    ScheduleRunner runner(kWarsaw);
    runner.setEntries(entries("codziennie 10:00 show 1\ncodziennie 10:30 show 2"));
    runner.advance(local(2026, 12, 9, 9, 0));
    EXPECT_EQ(runner.advance(local(2026, 12, 9, 10, 40)).size(), 2u);
    // Set back by an hour: 10:00 and 10:30 have run today already.
    EXPECT_TRUE(runner.advance(local(2026, 12, 9, 9, 40)).empty());
    EXPECT_EQ(iso(*runner.nextWake()), "2026-12-10T03:00:00+01:00");
    for (QDateTime t = local(2026, 12, 9, 9, 41); t < local(2026, 12, 9, 11, 0); t = t.addSecs(60))
        EXPECT_TRUE(runner.advance(t).empty()) << iso(t);
    // A wake-up a day late catches up rather than running the day's entries.
    EXPECT_EQ(names(runner.advance(local(2026, 12, 10, 10, 5))),
              (std::vector<std::string>{"03:00 clock", "10:00 show 1"}));
}

TEST(ScheduleRunner, AClockSetBackFarStartsAfresh) {
    ScheduleRunner runner(kWarsaw);
    runner.setEntries(entries("codziennie 10:00 show 1"));
    runner.advance(local(2027, 6, 1, 12, 0));
    const auto run = runner.advance(local(2026, 12, 9, 12, 0));
    EXPECT_EQ(names(run), (std::vector<std::string>{"03:00 clock", "10:00 show 1"}));
    EXPECT_EQ(iso(*runner.nextWake()), "2026-12-10T03:00:00+01:00");
}

TEST(ScheduleRunner, AClockSetForwardCatchesUpInsteadOfRunningAPile) {
    ScheduleRunner runner(kWarsaw);
    runner.setEntries(entries("codziennie 08:00 message 1 a.txt\ncodziennie 09:00 show 3\n"
                              "codziennie 10:00 show 4\n"));
    runner.advance(local(2026, 12, 9, 7, 0));
    const auto run = runner.advance(local(2026, 12, 12, 9, 30));
    EXPECT_EQ(names(run), (std::vector<std::string>{"03:00 clock", "09:00 show 3"}));
    // A short delay of the timer still runs what fell due in it.
    EXPECT_EQ(names(runner.advance(local(2026, 12, 12, 10, 10))),
              std::vector<std::string>{"10:00 show 4"});
}

TEST(ScheduleRunner, ANewScheduleKeepsWhatRan) {
    ScheduleRunner runner(kWarsaw);
    runner.setEntries(entries("codziennie 10:00 show 1"));
    runner.advance(local(2026, 12, 9, 9, 0));
    EXPECT_EQ(runner.advance(local(2026, 12, 9, 10, 0)).size(), 1u);
    runner.setEntries(entries("codziennie 10:00 show 2\ncodziennie 10:05 show 3"));
    EXPECT_EQ(iso(*runner.nextWake()), "2026-12-09T10:05:00+01:00");
    EXPECT_EQ(names(runner.advance(local(2026, 12, 9, 10, 6))),
              std::vector<std::string>{"10:05 show 3"});
}

} // namespace
} // namespace pixbar::service
