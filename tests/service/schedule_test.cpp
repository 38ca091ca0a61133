#include "schedule.h"

#include <gtest/gtest.h>

namespace pixbar::service {
namespace {

constexpr std::uint8_t kMon = 1, kTue = 2, kWed = 4, kThu = 8, kFri = 16, kSat = 32, kSun = 64;

struct GoodLine {
    const char* line;
    std::uint8_t days;
    const char* time;
    ScheduleAction action;
    int number;
    const char* file;
    const char* text;
    const char* actionText;
};

class ScheduleGoodLines : public ::testing::TestWithParam<GoodLine> {};

TEST_P(ScheduleGoodLines, ReadAsWritten) {
    const GoodLine& g = GetParam();
    const Schedule s = ParseSchedule(g.line);
    ASSERT_TRUE(s.ok()) << g.line << " -> " << s.errors.front().where();
    ASSERT_EQ(s.entries.size(), 1u);
    const ScheduleEntry& e = s.entries[0];
    EXPECT_EQ(e.line, 1);
    EXPECT_EQ(e.days, g.days) << g.line;
    EXPECT_EQ(e.timeText(), g.time);
    EXPECT_EQ(e.action, g.action);
    EXPECT_EQ(e.number, g.number);
    EXPECT_EQ(e.file, g.file);
    EXPECT_EQ(e.text, g.text);
    EXPECT_EQ(e.actionText, g.actionText);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ScheduleGoodLines,
    ::testing::Values(
        GoodLine{"pn-pt 07:30 show 2", kMon | kTue | kWed | kThu | kFri, "07:30",
                 ScheduleAction::Show, 2, "", "", "show 2"},
        GoodLine{"codziennie 22:00 brightness 20", kEveryDay, "22:00", ScheduleAction::Brightness,
                 20, "", "", "brightness 20"},
        GoodLine{"sb,nd 09:00 message 1 weekend.txt", kSat | kSun, "09:00",
                 ScheduleAction::Message, 1, "weekend.txt", "", "message 1 weekend.txt"},
        GoodLine{"pt-pn 7:05 speed 20", kFri | kSat | kSun | kMon, "07:05", ScheduleAction::Speed,
                 20, "", "", "speed 20"},
        GoodLine{"śr 00:00 displaytime 134", kWed, "00:00", ScheduleAction::DisplayTime, 134, "",
                 "", "displaytime 134"},
        GoodLine{"SR,Cz 23:59 displaytime 0", kWed | kThu, "23:59", ScheduleAction::DisplayTime,
                 0, "", "", "displaytime 0"},
        GoodLine{"ŚR 12:00 show 9", kWed, "12:00", ScheduleAction::Show, 9, "", "", "show 9"},
        GoodLine{"  nd   08:00\tSET  zestawy/niedziela.kzb  ", kSun, "08:00", ScheduleAction::Set, 0,
                 "zestawy/niedziela.kzb", "", "set zestawy/niedziela.kzb"},
        GoodLine{"pn 06:00 message 8 powitanie poranne.kom", kMon, "06:00",
                 ScheduleAction::Message, 8, "powitanie poranne.kom", "",
                 "message 8 powitanie poranne.kom"},
        GoodLine{"wt 10:00 live Dzień dobry {effect 3}", kTue, "10:00", ScheduleAction::Live, 0,
                 "", "Dzień dobry {effect 3}", "live Dzień dobry {effect 3}"},
        GoodLine{"wt 18:00 live", kTue, "18:00", ScheduleAction::Live, 0, "", "", "live"},
        GoodLine{"codziennie 04:00 clock", kEveryDay, "04:00", ScheduleAction::Clock, 0, "", "",
                 "clock"},
        GoodLine{"pn,śr-pt,nd 01:00 brightness 1", kMon | kWed | kThu | kFri | kSun, "01:00",
                 ScheduleAction::Brightness, 1, "", "", "brightness 1"}));

struct BadLine {
    const char* line;
    int column;
    const char* message; ///< a part of the message
};

class ScheduleBadLines : public ::testing::TestWithParam<BadLine> {};

TEST_P(ScheduleBadLines, NameTheirColumn) {
    const BadLine& b = GetParam();
    // A good line before and after: the error keeps its own line number and the rest is read.
    const std::string text = std::string("pn 07:00 show 1\n") + b.line + "\nnd 08:00 clock\n";
    const Schedule s = ParseSchedule(text);
    ASSERT_EQ(s.errors.size(), 1u) << b.line;
    EXPECT_EQ(s.errors[0].line, 2);
    EXPECT_EQ(s.errors[0].column, b.column) << b.line << " -> " << s.errors[0].message;
    EXPECT_NE(s.errors[0].message.find(b.message), std::string::npos) << s.errors[0].message;
    EXPECT_EQ(s.entries.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ScheduleBadLines,
    ::testing::Values(
        BadLine{"xx 07:30 show 2", 1, "Nieznany dzień tygodnia „xx”"},
        BadLine{"pn,xy 07:30 show 2", 4, "Nieznany dzień tygodnia „xy”"},
        BadLine{"śr-zz 07:30 show 2", 4, "Nieznany dzień tygodnia „zz”"},
        BadLine{"pn, 07:30 show 2", 4, "Brak dnia tygodnia"},
        BadLine{"pn", 3, "Brak godziny"},
        BadLine{"pn 24:00 show 2", 4, "Zła godzina „24:00”"},
        BadLine{"pn 7:60 show 2", 4, "Zła godzina"},
        BadLine{"pn 0730 show 2", 4, "Zła godzina"},
        BadLine{"pn 07:3 show 2", 4, "Zła godzina"},
        BadLine{"pn 07:30", 9, "Brak polecenia"},
        BadLine{"pn 07:30 pokaz 2", 10, "Nieznane polecenie „pokaz”"},
        BadLine{"pn 07:30 show 10", 15, "Zła liczba „10”"},
        BadLine{"pn 07:30 show", 14, "Brak liczby"},
        BadLine{"pn 07:30 show 2 3", 17, "Zbędne „3”"},
        BadLine{"pn 07:30 message 9 a.txt", 18, "Zła liczba „9”"},
        BadLine{"pn 07:30 message 1", 19, "Brak nazwy pliku"},
        BadLine{"pn 07:30 message 1 /etc/passwd", 20, "folderze harmonogramu"},
        BadLine{"pn 07:30 message 1 ../tajne.txt", 20, "folderze harmonogramu"},
        BadLine{"pn 07:30 set a/../../b.kzb", 14, "folderze harmonogramu"},
        BadLine{"pn 07:30 set C:\\x.kzb", 14, "folderze harmonogramu"},
        BadLine{"pn 07:30 message 1 zestaw.KZB", 20, "to nie komunikatu"},
        BadLine{"pn 07:30 set jeden.kom", 14, "to nie zestawu"},
        BadLine{"pn 07:30 brightness 0", 21, "brightness to liczba od 1 do 100"},
        BadLine{"pn 07:30 speed 21", 16, "speed to liczba od 1 do 20"},
        BadLine{"pn 07:30 displaytime 135", 22, "displaytime to liczba od 0 do 134"},
        BadLine{"pn 07:30 clock teraz", 16, "Zbędne „teraz”"},
        // Columns count characters, not bytes: "śr" is one column shorter in characters.
        BadLine{"śr 07:30 show x", 15, "Zła liczba „x”"},
        BadLine{"pn 07:30 live {efect 3}", 15, "efect"}));

TEST(ScheduleParse, SkipsCommentsAndBlankLinesButCountsThem) {
    const Schedule s = ParseSchedule("\xEF\xBB\xBF# poranek\n\n   \n  # wieczór\r\npn 07:00 show 1\r\n");
    ASSERT_TRUE(s.ok());
    ASSERT_EQ(s.entries.size(), 1u);
    EXPECT_EQ(s.entries[0].line, 5);
    EXPECT_EQ(s.entries[0].actionText, "show 1");
}

TEST(ScheduleParse, ReportsEveryBadLine) {
    const Schedule s = ParseSchedule("xx 07:00 show 1\npn 07:00 show 1\npn 25:00 show 1\n"
                                     "pn 07:00 skacz\n\xFF\xFE 07:00 show 1\n");
    ASSERT_EQ(s.errors.size(), 4u);
    EXPECT_EQ(s.errors[0].line, 1);
    EXPECT_EQ(s.errors[1].line, 3);
    EXPECT_EQ(s.errors[2].line, 4);
    EXPECT_EQ(s.errors[3].line, 5);
    EXPECT_EQ(s.errors[3].where(), "5:1: Wiersz nie jest w UTF-8");
    EXPECT_EQ(s.entries.size(), 1u);
}

TEST(ScheduleParse, EveryRangeOfDaysHoldsItsEnds) {
    const char* words[] = {"pn", "wt", "śr", "cz", "pt", "sb", "nd"};
    for (int from = 0; from < 7; ++from)
        for (int to = 0; to < 7; ++to) {
            const std::string line = std::string(words[from]) + "-" + words[to] + " 10:00 clock";
            const Schedule s = ParseSchedule(line);
            ASSERT_TRUE(s.ok()) << line;
            const int length = (to - from + 7) % 7 + 1;
            int count = 0;
            for (int d = 1; d <= 7; ++d) count += s.entries[0].onDay(d);
            EXPECT_EQ(count, length) << line;
            EXPECT_TRUE(s.entries[0].onDay(from + 1)) << line;
            EXPECT_TRUE(s.entries[0].onDay(to + 1)) << line;
        }
}

TEST(ScheduleFileNames, StayInTheFolder) {
    for (const char* good : {"a.txt", "sub/a.kom", "a..b.txt", ".ukryty.txt", "x/./y.kzb"})
        EXPECT_TRUE(IsScheduleFileName(good)) << good;
    for (const char* bad : {"", "/a.txt", "\\a.txt", "..", "../a", "a/../../b", "a\\..\\b",
                            "~/a.txt", "C:a.txt"})
        EXPECT_FALSE(IsScheduleFileName(bad)) << bad;
}

} // namespace
} // namespace pixbar::service
