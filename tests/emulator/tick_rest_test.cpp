// The tick rests while nothing plays: its thread does not wake, the counters keep their
// values, and a new test starts it again with a fresh schedule.

#include "player_fixture.h"

#include <thread>

using namespace playertest;
using Outcome = PreviewDriver::Outcome;
using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

namespace {

/// Waits (at most 2 s) until the tick thread sleeps without a deadline.
bool waitUntilResting(const RealTickSource& ticks) {
    const auto until = Steady::now() + 2s;
    while (!ticks.resting() && Steady::now() < until) std::this_thread::sleep_for(1ms);
    return ticks.resting();
}

/// Waits (at most 2 s of no progress) until `count` ticks have been counted.
void waitForTicks(RealTickSource& ticks, std::uint64_t count) {
    std::uint64_t seen = ticks.ticks();
    for (int i = 0; i < 200 && seen < count; ++i) {
        ticks.waitForTick(seen, 100ms);
        seen = ticks.ticks();
    }
}

} // namespace

TEST(TickRest, ANewTickSourceRestsWithoutWaking) {
    TickCounters c;
    c.DisplayTimeCounter = 500; // a leftover value does not keep the tick running
    RealTickSource ticks(c, 1ms);
    std::this_thread::sleep_for(60ms);
    EXPECT_TRUE(ticks.resting());
    EXPECT_EQ(ticks.wakeups(), 0u);
    EXPECT_EQ(ticks.ticks(), 0u);
    EXPECT_EQ(c.DisplayTimeCounter.load(), 500u);
}

TEST(TickRest, CountersStandStillAtRestAndCarryOnWhenHeldAgain) {
    TickCounters c;
    constexpr std::uint32_t kStart = 1000000;
    c.DisplayTimeCounter = kStart;
    RealTickSource ticks(c, 1ms);
    std::uint64_t target = 0;
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        target += 5 + std::uint64_t(round) * 7;
        ticks.hold();
        waitForTicks(ticks, target);
        ticks.release();
        ASSERT_TRUE(waitUntilResting(ticks));
        const std::uint64_t frozen = ticks.ticks();
        const std::uint64_t wakeups = ticks.wakeups();
        EXPECT_GE(frozen, target);
        std::this_thread::sleep_for(30ms); // thirty periods at rest
        EXPECT_EQ(ticks.ticks(), frozen);
        EXPECT_EQ(ticks.wakeups(), wakeups);
        // Every tick counted down the counter exactly once, across every rest.
        EXPECT_EQ(c.DisplayTimeCounter.load(), kStart - std::uint32_t(frozen));
        target = frozen;
    }
}

TEST(TickRest, ARunAfterARestBeginsANewScheduleWithoutMakingUpTicks) {
    TickCounters c;
    constexpr auto kPeriod = 40ms;
    RealTickSource ticks(c, kPeriod);
    ticks.hold();
    waitForTicks(ticks, 1);
    ticks.release();
    ASSERT_TRUE(waitUntilResting(ticks));
    std::this_thread::sleep_for(8 * kPeriod); // on the old grid, eight ticks would be due
    const std::uint64_t seen = ticks.ticks();
    const auto held = Steady::now();
    ticks.hold();
    ticks.waitForTick(seen, 2s);
    const auto elapsed = Steady::now() - held;
    ticks.release();
    EXPECT_GE(ticks.ticks(), seen + 1);
    EXPECT_LE(ticks.ticks(), seen + 2); // late by a period at most, but no catching up
    EXPECT_GE(elapsed, kPeriod - 5ms);  // a whole period after the hold, not at once
}

TEST(TickRest, AWaiterWakesARestingTick) {
    TickCounters c;
    c.StepDelayUpper = 3;
    RealTickSource ticks(c, 5ms);
    const auto start = Steady::now();
    ticks.waitForTick(0, 2s);
    EXPECT_LT(Steady::now() - start, 1s);
    EXPECT_GE(ticks.ticks(), 1u);
    EXPECT_EQ(c.StepDelayUpper.load(),
              3u - std::uint32_t(std::min<std::uint64_t>(3, ticks.ticks())));
    ASSERT_TRUE(waitUntilResting(ticks)); // nobody waits any more
}

TEST(TickRest, TheDriverHoldsTheTickOnlyWhileATestPlays) {
    struct Case {
        const char* name;
        MessageRecord record;
        std::uint16_t switching;
        Outcome end;
    };
    const Message text = Message().effect(EffectCode::StandingText).text(2, "H");
    const std::vector<Case> cases{
        {"stopped by the second click", text, 0, Outcome::Stopped},
        {"ended by switching", text, 1, Outcome::Ended},
        {"lower message", Message().text(2, "H").kind(MessageKind::Lower), 0,
         Outcome::NothingToPlay},
        {"empty message", MessageRecord{}, 0, Outcome::NothingToPlay},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Bench b(1, 8);
        b.settings.switching = k.switching;
        b.settings.DisplayTimePosition = 1;
        const bool started = b.play(k.record);
        EXPECT_EQ(b.ticks.holds(), started ? 1 : 0);
        // Starting again while playing does not hold twice.
        if (started) b.play(k.record);
        EXPECT_EQ(b.ticks.holds(), started ? 1 : 0);
        if (k.end == Outcome::Stopped) {
            b.runTo(300);
            EXPECT_EQ(b.ticks.holds(), 1);
            b.driver.stop();
        }
        const Outcome outcome = b.driver.run();
        EXPECT_EQ(outcome, k.end);
        EXPECT_EQ(b.ticks.holds(), 0);
        b.driver.stop(); // stopping an ended test releases nothing more
        b.driver.poll();
        EXPECT_EQ(b.ticks.holds(), 0);
    }
}

TEST(TickRest, ADriverGoneWhilePlayingReleasesTheTick) {
    Bench b(1, 8);
    {
        PreviewDriver other(b.emu, b.ticks, b.clock, b.settings);
        ASSERT_TRUE(other.start(Message().text(2, "I"), MessageRecord{}));
        EXPECT_EQ(b.ticks.holds(), 1);
    }
    EXPECT_EQ(b.ticks.holds(), 0);
}

TEST(TickRest, APreviewStartsTheRestingTickAndItRestsAgainAfterTheStop) {
    Bench b(1, 8);
    RealTickSource ticks(b.emu.counters, 1ms);
    PreviewDriver driver(b.emu, ticks, b.clock, b.settings);
    std::uint64_t frozen = 0;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(waitUntilResting(ticks));
        EXPECT_EQ(ticks.ticks(), frozen);
        ASSERT_TRUE(driver.start(Message().text(2, "I"), MessageRecord{}));
        const Outcome outcome = driver.run([&] {
            if (ticks.ticks() >= frozen + 20) driver.stop();
        });
        EXPECT_EQ(outcome, Outcome::Stopped);
        EXPECT_GE(ticks.ticks(), frozen + 20); // the tick counts on from where it rested
        ASSERT_TRUE(waitUntilResting(ticks));
        frozen = ticks.ticks();
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(ticks.ticks(), frozen);
    }
}
