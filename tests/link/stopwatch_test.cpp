// The stopwatch's count and what it sends to slot 9.
#include "linktesting.h"
#include "stopwatchsession.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace pixbar {
namespace {

using testing::Bytes;
using testing::Decode;
using testing::Rig;

TEST(StopwatchTime, FormatsHoursMinutesSecondsWithoutWrappingHours) {
    const struct {
        std::uint32_t ms;
        const char* text;
    } cases[] = {
        {0, "00:00:00"},          {999, "00:00:00"},
        {1000, "00:00:01"},       {65000, "00:01:05"},
        {3599999, "00:59:59"},    {3661000, "01:01:01"},
        {86400000, "24:00:00"},   {359999999, "99:59:59"},
        {360000000, "100:00:00"}, {4294967295u, "1193:02:47"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatStopwatchTime(c.ms), c.text) << c.ms;
}

TEST(StopwatchCount, ResumesAfterAStopAndSurvivesTheTickWrap) {
    ManualTickCount ticks(0xFFFFF000u); // 4096 ms before the counter wraps
    Stopwatch w(ticks);
    w.start();
    ticks.advance(5000);
    EXPECT_EQ(w.elapsed(), 5000u);
    w.stop();
    ticks.advance(10000);
    w.start();
    EXPECT_EQ(w.elapsed(), 5000u);
    ticks.advance(1500);
    EXPECT_EQ(w.elapsed(), 6500u);
    w.restart();
    EXPECT_EQ(w.elapsed(), 0u);
    EXPECT_FALSE(w.paused());
}

/// Records what the window would show.
struct RecordingView : StopwatchView {
    QStringList times;
    std::vector<StopwatchColour> colours;
    bool running = false;
    QStringList errors;
    void showTime(const QString& text) override { times << text; }
    void setColour(StopwatchColour c) override { colours.push_back(c); }
    void setRunning(bool on) override { running = on; }
    void error(const QString& text) override { errors << text; }
};

class StopwatchLink : public ::testing::Test {
protected:
    StopwatchLink()
        : session([this]() -> ComProtocol& { return *rig.protocol; },
                  [] {
                      return SignTarget{QStringLiteral("/dev/memory"), 7};
                  },
                  ticks, view) {
        rig.port->setResponder([this](std::span<const std::uint8_t>) {
            return answer ? testing::Reply(7, 0, 0x80) : Bytes{};
        });
    }
    /// The texts of every frame sent, as the sign would read them.
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& raw : rig.port->writes()) {
            const auto sent = Decode(raw, 7);
            EXPECT_EQ(sent.destination, 7);
            if (sent.command != kCommandText) {
                out.push_back("command " + std::to_string(sent.command));
                continue;
            }
            EXPECT_EQ(sent.payload[0], 8); // slot 9
            out.emplace_back(sent.payload.begin() + 6, sent.payload.end() - 1);
        }
        return out;
    }

    Rig rig;
    ManualTickCount ticks{1000};
    RecordingView view;
    bool answer = true;
    StopwatchSession session;
};

TEST_F(StopwatchLink, StartStopResumeSendsTheTimeWithItsEscape) {
    ASSERT_TRUE(session.open());
    session.startStop();
    EXPECT_EQ(session.state(), StopwatchState::Running);
    EXPECT_TRUE(view.running);
    ticks.advance(5000);
    session.tick();
    session.startStop();
    EXPECT_EQ(session.state(), StopwatchState::Stopped);
    EXPECT_FALSE(view.running);
    ticks.advance(10000);
    session.startStop();
    ticks.advance(60000);
    session.tick();
    EXPECT_EQ(texts(), (std::vector<std::string>{"\\E0200:00:00", "\\E0200:00:05", "\\E0200:00:05",
                                                 "\\E0200:00:05", "\\E0200:01:05"}));
    EXPECT_EQ(view.times.back(), QStringLiteral("00:01:05"));
    EXPECT_EQ(view.colours,
              (std::vector<StopwatchColour>{StopwatchColour::Lime, StopwatchColour::Yellow,
                                            StopwatchColour::Lime}));
}

TEST_F(StopwatchLink, ResetWhileRunningRestartsFromZeroAndKeepsCounting) {
    session.open();
    session.startStop();
    ticks.advance(7000);
    session.reset();
    EXPECT_EQ(view.times.back(), QStringLiteral("00:00:00"));
    EXPECT_EQ(session.state(), StopwatchState::Running);
    ticks.advance(2000);
    session.tick();
    EXPECT_EQ(texts().back(), "\\E0200:00:02");
}

TEST_F(StopwatchLink, ShowTextSendsFinalTimeThenTheTextAndPausesTheCount) {
    session.open();
    session.startStop();
    ticks.advance(3000);
    session.showText(QStringLiteral("Zażółć"));
    EXPECT_EQ(session.state(), StopwatchState::TextShown);
    EXPECT_FALSE(view.running);
    const auto sent = texts();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1], "\\E0200:00:03");
    EXPECT_EQ(sent[2], "Za\xbf\xf3\xb3\xe6"); // code page 1250, no escape in front
    ticks.advance(9000);
    session.startStop(); // resumes at 3 s
    EXPECT_EQ(texts().back(), "\\E0200:00:03");
}

TEST_F(StopwatchLink, ResetAfterTextLeavesTheSignAloneAndTheNextStartCountsFromZero) {
    session.open();
    session.startStop();
    ticks.advance(4000);
    session.showText(QStringLiteral("Przerwa"));
    const std::size_t before = rig.port->writes().size();
    ticks.advance(1000);
    session.reset();
    EXPECT_EQ(rig.port->writes().size(), before); // the text stays on the sign
    EXPECT_EQ(view.times.back(), QStringLiteral("00:00:00"));
    EXPECT_EQ(session.state(), StopwatchState::TextShown);
    ticks.advance(8000);
    session.startStop();
    EXPECT_EQ(texts().back(), "\\E0200:00:00");
}

TEST_F(StopwatchLink, FailedTimeSendTurnsRedWithoutABoxAndKeepsRunning) {
    session.open();
    session.startStop();
    answer = false;
    ticks.advance(250);
    session.tick();
    EXPECT_EQ(view.colours.back(), StopwatchColour::Red);
    EXPECT_TRUE(view.errors.isEmpty());
    EXPECT_EQ(session.state(), StopwatchState::Running);
    answer = true;
    session.tick(); // a later success does not restore the colour
    EXPECT_EQ(view.colours.back(), StopwatchColour::Red);
    session.startStop();
    EXPECT_EQ(view.colours.back(), StopwatchColour::Yellow);
}

TEST_F(StopwatchLink, FailedTextOrShowRequestIsReportedAndTheStateStillChanges) {
    session.open();
    answer = false;
    session.showText(QStringLiteral("x"));
    EXPECT_EQ(session.state(), StopwatchState::TextShown);
    session.showMessage(3);
    EXPECT_EQ(view.errors, (QStringList{QStringLiteral("Nie mogę wysłać komendy do linijki!"),
                                        QStringLiteral("Nie mogę wysłać komendy do linijki!")}));
    EXPECT_EQ(session.state(), StopwatchState::TextShown);
}

TEST_F(StopwatchLink, ShowStoredMessageStopsTheCountFirst) {
    session.open();
    session.startStop();
    ticks.advance(2000);
    session.showMessage(8);
    EXPECT_EQ(session.state(), StopwatchState::Stopped);
    const auto sent = texts();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1], "\\E0200:00:02");
    EXPECT_EQ(sent[2], "command " + std::to_string(kCommandShowSlot1 + 7));
    EXPECT_TRUE(view.errors.isEmpty());
}

TEST_F(StopwatchLink, PortThatCannotOpenIsNamedAndEveryShowingStartsFromZero) {
    rig.port->setOpenable(false);
    EXPECT_FALSE(session.open());
    EXPECT_EQ(view.errors, QStringList{QStringLiteral("Nie mogę otworzyć portu /dev/memory !")});
    rig.port->setOpenable(true);
    ASSERT_TRUE(session.open());
    session.startStop();
    ticks.advance(5000);
    session.startStop(); // paused at 5 s
    session.close();
    EXPECT_FALSE(rig.port->isOpen());
    ASSERT_TRUE(session.open());
    EXPECT_EQ(session.state(), StopwatchState::Stopped);
    EXPECT_FALSE(session.watch().paused());
    ticks.advance(3000);
    session.startStop();
    EXPECT_EQ(texts().back(), "\\E0200:00:00");
}

} // namespace
} // namespace pixbar
