#include "player_fixture.h"

using namespace playertest;
using Outcome = PreviewDriver::Outcome;

TEST(PlayMessage, UpperMessageOnPageEightPlaysPageOneBelow) {
    Bench b(1, 16);
    std::array<MessageRecord, kPageCount> pages{};
    pages[7] = Message().effect(EffectCode::StandingText).text(2, "I").kind(MessageKind::Upper);
    pages[0] = Message().effect(EffectCode::StandingText).text(2, "H");
    pages[6] = Message().effect(EffectCode::StandingText).text(2, "D");
    ASSERT_TRUE(b.driver.start(pages, 7));
    b.driver.poll();
    ASSERT_TRUE(b.driver.player().hasLower());
    EXPECT_EQ(b.driver.player().upper().endRow, 8);
    EXPECT_EQ(b.driver.player().lower().topRow, 8);
    b.runTo(2);
    const auto shown = b.shown();
    for (int y = 0; y < 8; ++y) EXPECT_EQ(shown[std::size_t(y)], "#.......") << y;
    for (int y = 8; y < 16; ++y) EXPECT_EQ(shown[std::size_t(y)], "########") << y;
}

TEST(PlayMessage, UpperMessageOnAnotherPagePlaysTheNextPage) {
    Bench b(1, 16);
    std::array<MessageRecord, kPageCount> pages{};
    pages[2] = Message().effect(EffectCode::StandingText).text(2, "I").kind(MessageKind::Upper);
    pages[3] = Message().effect(EffectCode::StandingText).text(2, "H");
    ASSERT_TRUE(b.driver.start(pages, 2));
    b.driver.poll();
    b.runTo(2);
    EXPECT_EQ(b.row(12), "########");
}

TEST(PlayMessage, LowerMessageAndEmptyMessageEndAtOnce) {
    Bench b(1, 8);
    b.emu.frame.fill(0);
    b.emu.frame[0] = 0x81;
    const std::vector<MessageRecord> nothing{
        Message().text(2, "H").kind(MessageKind::Lower),
        MessageRecord{},
        Message().kind(MessageKind::Upper),
    };
    for (const MessageRecord& r : nothing) {
        EXPECT_FALSE(b.driver.start(r, Message().text(2, "H")));
        EXPECT_FALSE(b.driver.playing());
        EXPECT_EQ(b.driver.poll(), Outcome::NothingToPlay);
        EXPECT_EQ(b.driver.run(), Outcome::NothingToPlay);
    }
    EXPECT_EQ(b.paints, 0);
    EXPECT_EQ(b.row(0), "#......#"); // the picture is left as it was
}

TEST(PlayMessage, AnyOtherKindHasNoLowerTrack) {
    Bench b(1, 16);
    MessageRecord r = Message().text(2, "I");
    r.bytes[kKindOffset] = 7; // a file may hold any byte here
    ASSERT_TRUE(b.driver.start(r, Message().text(2, "H")));
    EXPECT_FALSE(b.driver.player().hasLower());
    EXPECT_EQ(b.driver.player().upper().endRow, 16);
}

TEST(PlayMessage, PlaysItsOwnCopyOfTheRecord) {
    Bench b(1, 8);
    Message m;
    m.text(2, "II");
    MessageRecord editor = m;
    ASSERT_TRUE(b.play(editor));
    editor.setCell(1, {0x02, 'H'}); // the user edits the page during the test
    b.runTo(16);
    EXPECT_EQ(b.row(0), ".......#");
}

TEST(PlayMessage, SetsTheCountersAtTheStart) {
    Bench b(1, 8);
    b.settings.DisplayTimePosition = 11;
    b.emu.counters.StepDelayUpper = 55;
    b.emu.counters.StepDelayLower = 66;
    ASSERT_TRUE(b.driver.start(Message().text(2, "I"), MessageRecord{}));
    EXPECT_EQ(b.emu.counters.StepDelayUpper.load(), 0u);
    EXPECT_EQ(b.emu.counters.StepDelayLower.load(), 0u);
    EXPECT_EQ(b.emu.counters.DisplayTimeCounter.load(), 1667u);
}

TEST(PlayMessage, EffectCodeThirteenStandsStillUntilStop) {
    Bench b(1, 8);
    b.settings.switching = 1;
    b.settings.DisplayTimePosition = 0;
    ASSERT_TRUE(b.play(Message().effectCode(13).text(2, "H")));
    EXPECT_EQ(b.paints, 9);
    b.runTo(5000);
    EXPECT_TRUE(b.driver.playing());
    EXPECT_EQ(b.paints, 9);
    EXPECT_EQ(b.row(0), "........");
    EXPECT_EQ(std::uint8_t(b.driver.player().upper().effectType), 12);
    b.driver.stop();
    EXPECT_EQ(b.driver.poll(), Outcome::Stopped);
}

TEST(SwitchingEnd, PositionZeroEndsWhenTheUpperMessageHasWrapped) {
    Bench b(1, 8);
    b.settings.switching = 1;
    b.settings.DisplayTimePosition = 0;
    ASSERT_TRUE(b.play(Message().text(2, "II")));
    b.runTo(15);
    EXPECT_TRUE(b.driver.playing());
    b.runTo(16);
    EXPECT_FALSE(b.driver.playing());
    EXPECT_EQ(b.driver.outcome(), Outcome::Ended);
    // The last picture stays.
    EXPECT_EQ(b.row(0), ".......#");
    const int paints = b.paints;
    b.runTo(100);
    EXPECT_EQ(b.row(0), ".......#");
    EXPECT_EQ(b.paints, paints);
}

TEST(SwitchingEnd, WaitsForTheDisplayTimeAndTheNextWrap) {
    Bench b(1, 8);
    b.settings.switching = 1;
    b.settings.DisplayTimePosition = 1; // 83 ticks
    ASSERT_TRUE(b.play(Message().text(2, "II")));
    // The message wraps at ticks 16, 48, 80 and 112; the display time is over at 83.
    b.runTo(111);
    EXPECT_TRUE(b.driver.playing());
    b.runTo(112);
    EXPECT_EQ(b.driver.outcome(), Outcome::Ended);
}

TEST(SwitchingEnd, OffRunsUntilStopped) {
    Bench b(1, 8);
    b.settings.switching = 0;
    b.settings.DisplayTimePosition = 0;
    ASSERT_TRUE(b.play(Message().text(2, "II")));
    b.runTo(3000);
    EXPECT_TRUE(b.driver.playing());
}

TEST(Stop, ClearsThePictureAndPaintsOnceMore) {
    Bench b(2, 8);
    ASSERT_TRUE(b.play(Message().text(2, "HH")));
    b.runTo(10);
    ASSERT_NE(b.row(0), "................");
    const int paints = b.paints;
    b.driver.stop();
    EXPECT_EQ(b.driver.poll(), Outcome::Stopped);
    EXPECT_FALSE(b.driver.playing());
    EXPECT_EQ(b.paints, paints + 1);
    EXPECT_TRUE(std::all_of(b.emu.frame.begin(), b.emu.frame.end(), [](auto v) { return v == 0; }));
    EXPECT_EQ(b.emu.bitmap.at(0, 0), kLedOff);
    b.runTo(40);
    EXPECT_EQ(b.paints, paints + 1);
}

TEST(Run, ProcessesEventsAfterEveryPassAndStopsFromThem) {
    Bench b(1, 8);
    ASSERT_TRUE(b.driver.start(Message().text(2, "I"), MessageRecord{}));
    int passes = 0;
    const Outcome outcome = b.driver.run([&] {
        ++passes;
        if (b.ticks.ticks() == 10) b.driver.stop(); // the second click on "Testuj"
    });
    EXPECT_EQ(outcome, Outcome::Stopped);
    EXPECT_EQ(b.ticks.ticks(), 10u);
    // Nine passes at tick 0, then one pass per tick: the driver waits instead of spinning.
    EXPECT_EQ(passes, 9 + 10);
    EXPECT_EQ(b.row(0), "........");
}

TEST(Run, EndsByItselfWithSwitching) {
    Bench b(1, 8);
    b.settings.switching = 1;
    b.settings.DisplayTimePosition = 0;
    ASSERT_TRUE(b.driver.start(Message().text(2, "II"), MessageRecord{}));
    EXPECT_EQ(b.driver.run(), Outcome::Ended);
    EXPECT_EQ(b.ticks.ticks(), 16u);
    EXPECT_EQ(b.row(0), ".......#");
}

TEST(Run, SpeedChangedDuringATestAppliesFromTheNextStep) {
    Bench b(1, 8);
    ASSERT_TRUE(b.play(Message().text(2, "I")));
    b.runTo(2);
    b.settings.speed = 6; // a slider moves
    b.runTo(4);
    EXPECT_EQ(b.row(0), ".....#..");
    b.runTo(9);
    EXPECT_EQ(b.row(0), ".....#..");
    b.runTo(10);
    EXPECT_EQ(b.row(0), "....#...");
}

TEST(Run, WithTheRealTickSource) {
    Bench b(1, 8);
    RealTickSource ticks(b.emu.counters, std::chrono::milliseconds(1));
    PreviewDriver driver(b.emu, ticks, b.clock, b.settings);
    int paints = 0;
    driver.setRepaint([&] { ++paints; });
    ASSERT_TRUE(driver.start(Message().text(2, "I"), MessageRecord{}));
    const std::uint64_t first = ticks.ticks();
    const Outcome outcome = driver.run([&] {
        if (ticks.ticks() >= first + 20) driver.stop();
    });
    EXPECT_EQ(outcome, Outcome::Stopped);
    EXPECT_GT(paints, 9); // at least one scrolling step after the start
    EXPECT_EQ(b.row(0), "........");
}

TEST(ZeroDelaySteps, EmptyPageBelowWaitsATickPerStepAfterTheLimit) {
    Bench b(1, 16);
    const Message upper =
        Message().effect(EffectCode::StandingText).text(2, "H").kind(MessageKind::Upper);
    ASSERT_TRUE(b.play(upper, MessageRecord{}));
    // The upper track's nine steps and the lower track's bounded run, then the driver waits.
    EXPECT_EQ(b.paints, 9 + kZeroDelayStepLimit);
    EXPECT_EQ(b.emu.counters.StepDelayLower.load(), 1u);
    b.runTo(1);
    EXPECT_EQ(b.paints, 9 + kZeroDelayStepLimit + 1);
    b.runTo(2); // the upper message is not held up
    EXPECT_EQ(b.paints, 9 + kZeroDelayStepLimit + 3);
    for (int y = 0; y < 8; ++y) EXPECT_EQ(b.row(y), "########");
    for (int y = 8; y < 16; ++y) EXPECT_EQ(b.row(y), "........");
}

TEST(ZeroDelaySteps, MessageWithNothingToShowDoesNotSpin) {
    Bench b(1, 8);
    ASSERT_TRUE(b.play(Message().inverse().normal()));
    EXPECT_EQ(b.paints, kZeroDelayStepLimit);
    b.runTo(50);
    EXPECT_EQ(b.paints, kZeroDelayStepLimit + 50);
    EXPECT_TRUE(b.driver.playing());
    EXPECT_EQ(b.row(0), "........");
}

TEST(ZeroDelaySteps, RealMessagesNeverReachTheLimit) {
    // 499 format marks and one character: a long run of steps without delay, then a delay.
    Bench b(1, 8);
    Message m;
    for (int i = 0; i < kCellCount - 1; ++i) m.normal();
    m.text(2, "I");
    ASSERT_TRUE(b.play(m));
    EXPECT_EQ(b.paints, 8 + kCellCount);
    EXPECT_EQ(b.row(0), ".......#");
    EXPECT_EQ(b.emu.counters.StepDelayUpper.load(), 2u);
    b.runTo(16); // the next pass through the marks starts at tick 16, all in that instant
    EXPECT_EQ(b.row(0), ".......#");
}

// Over a whole scrolled message with a pause, only the steps that change the picture ask for
// a repaint, and the area asked for holds every changed LED row.
TEST(RepaintArea, OnlyStepsThatChangeThePictureAskAndTheAreaHoldsTheChange) {
    Bench b(2, 16);
    const SignGeometry& g = b.emu.geometry;
    const int p = LedPitch(g);
    // The sign as the window shows it before the test.
    RenderLeds(g, b.emu.frame, b.emu.bitmap);
    b.emu.bitmap.takeChanged();
    FrameBuffer before = b.emu.frame;
    int steps = 0, changedSteps = 0, asked = 0;
    int firstRow = -1, endRow = -1;
    b.driver.setRepaint([&] {
        ++steps;
        firstRow = endRow = -1;
        for (int y = 0; y < g.height; ++y) {
            const auto at = std::ptrdiff_t(y * g.stride);
            if (std::equal(before.begin() + at, before.begin() + at + g.width,
                           b.emu.frame.begin() + at))
                continue;
            if (firstRow < 0) firstRow = y;
            endRow = y + 1;
        }
        if (firstRow >= 0) ++changedSteps;
        before = b.emu.frame;
    });
    b.driver.setRepaintArea([&](const LedArea& area) {
        ++asked;
        EXPECT_GE(firstRow, 0) << "step " << steps << " asked without a change";
        EXPECT_LE(area.y, firstRow * p);
        EXPECT_GE(area.y + area.height, endRow * p - 1);
    });
    ASSERT_TRUE(b.play(Message().text(2, "HI").pause(1).text(4, "I")));
    b.runTo(600);
    b.driver.stop();
    b.driver.poll();
    EXPECT_EQ(asked, changedSteps);
    EXPECT_GT(changedSteps, 20);
    EXPECT_GE(steps - changedSteps, 8); // at least the counting steps of the start
}
