#include "player_fixture.h"

#include <tuple>

using namespace playertest;

namespace {

/// Reads characters the way a line is composed, until `n` characters came out.
std::string readCharacters(Track& t, const Clock& clock, int n, std::vector<int>* fonts = nullptr) {
    std::string out;
    for (int guard = 0; int(out.size()) < n && guard < 100; ++guard) {
        ReadNextItem(t, clock);
        t.readerState = t.nextReaderState;
        if (t.character != 0) {
            out += char(t.character);
            if (fonts) fonts->push_back(t.attribute & kFontMask);
        }
    }
    return out;
}

} // namespace

TEST(ReadNextItem, FieldsExpandInTheFontOfTheirCell) {
    const Message m = Message().time(2).date(3).temperature(4).text(2, "A");
    Track t = StartTrack(m, 0, 8, 8);
    FixedClock clock({2026, 12, 6, 9, 5});
    std::vector<int> fonts;
    EXPECT_EQ(readCharacters(t, clock, 18, &fonts), "09:0506/12/202621A");
    const std::vector<int> expected{2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 2};
    EXPECT_EQ(fonts, expected);
}

TEST(ReadNextItem, FieldsFollowTheClock) {
    const std::vector<std::tuple<LocalDateTime, std::string, std::string>> cases{
        {{2026, 12, 6, 9, 5}, "09:05", "06/12/2026"},
        {{2031, 1, 31, 23, 59}, "23:59", "31/01/2031"},
        {{2000, 7, 1, 0, 0}, "00:00", "01/07/2000"},
    };
    for (const auto& [when, time, date] : cases) {
        const Message m = Message().time(1).date(1);
        Track t = StartTrack(m, 0, 8, 8);
        FixedClock clock(when);
        EXPECT_EQ(readCharacters(t, clock, 15), time + date);
    }
}

TEST(ReadNextItem, MarksAndItemsProduceNoCharacter) {
    const Message m = Message().inverse().pause(2).effect(EffectCode::Pixels).normal().text(1, "B");
    Track t = StartTrack(m, 0, 8, 8);
    FixedClock clock;

    ReadNextItem(t, clock);
    EXPECT_EQ(t.character, 0);
    EXPECT_EQ(t.format, 1);

    ReadNextItem(t, clock);
    EXPECT_EQ(t.character, 0);
    EXPECT_EQ(t.delayRequest, DelayRequest::Pause);
    EXPECT_EQ(t.pauseLength, 2);
    EXPECT_EQ(t.position, 6);

    t.phaseFlag = false;
    ReadNextItem(t, clock);
    EXPECT_EQ(t.character, 0);
    EXPECT_EQ(t.nextEffectType, EffectType::Pixels);
    EXPECT_TRUE(t.phaseFlag);
    EXPECT_EQ(t.effectParameter, kParameterMark);

    ReadNextItem(t, clock);
    EXPECT_EQ(t.format, 0);
    ReadNextItem(t, clock);
    EXPECT_EQ(t.character, 'B');
    EXPECT_EQ(t.attribute, 0x01);
}

TEST(ReadNextItem, LastCellWrapsToTheStartWithTheScroller) {
    const Message m = Message().effect(EffectCode::Typewriter).text(2, "AB");
    Track t = StartTrack(m, 0, 8, 8);
    FixedClock clock;
    ReadNextItem(t, clock);
    t.phaseFlag = false;
    ReadNextItem(t, clock);
    EXPECT_FALSE(t.endFlag);
    t.delayRequest = DelayRequest::Ticks;
    ReadNextItem(t, clock);
    EXPECT_EQ(t.character, 'B'); // the last cell is still handled
    EXPECT_TRUE(t.endFlag);
    EXPECT_TRUE(t.phaseFlag);
    EXPECT_EQ(t.position, 0);
    EXPECT_EQ(t.nextEffectType, EffectType::Scroller);
    EXPECT_EQ(t.delayRequest, DelayRequest::None);
}

TEST(ReadNextItem, AnEmptyMessageReadsNothingAndWraps) {
    const MessageRecord empty;
    Track t = StartTrack(empty, 0, 8, 8);
    FixedClock clock;
    ReadNextItem(t, clock);
    EXPECT_EQ(t.character, 0);
    EXPECT_EQ(t.attribute, 0);
    EXPECT_TRUE(t.endFlag);
    EXPECT_EQ(t.position, 0);
}

TEST(ReadNextItem, LeadCellEndingTheMessageHasNoParameters) {
    // A full cell area may end with a lead cell whose parameter cell did not fit.
    MessageRecord full;
    for (int i = 0; i < kCellCount - 1; ++i) full.setCell(i, {0x02, 'A'});
    full.setCell(kCellCount - 1, {kAttrLead, kLeadEffect});
    Track t = StartTrack(full, 0, 8, 8);
    ASSERT_EQ(t.size, 1000);
    t.position = 998;
    FixedClock clock;
    ReadNextItem(t, clock);
    EXPECT_EQ(t.nextEffectType, EffectType::Scroller);
    EXPECT_EQ(t.position, 0);
    EXPECT_TRUE(t.endFlag);
}

TEST(ReadNextItem, EffectCodeAboveTwelveIsKept) {
    for (std::uint8_t code : {std::uint8_t(13), std::uint8_t(200)}) {
        const Message m = Message().effectCode(code).text(2, "A");
        Track t = StartTrack(m, 0, 8, 8);
        FixedClock clock;
        ReadNextItem(t, clock);
        EXPECT_EQ(std::uint8_t(t.nextEffectType), std::uint8_t(code - 1));
    }
}

TEST(NextIsText, FalseOnlyBeforeALeadCell) {
    const Message m = Message().text(2, "A").pause(2).inverse();
    Track t = StartTrack(m, 0, 8, 8);
    EXPECT_TRUE(NextIsText(t));
    t.position = 2;
    EXPECT_FALSE(NextIsText(t));
    t.position = 6;
    EXPECT_TRUE(NextIsText(t)); // a format mark counts as text
    t.position = t.size;
    EXPECT_TRUE(NextIsText(t));
}

TEST(MessageSize, CountsBytesBeforeTheFirstZero) {
    EXPECT_EQ(MessageSize(MessageRecord{}), 0);
    EXPECT_EQ(MessageSize(Message().text(2, "AB")), 4);
    MessageRecord odd;
    odd.setCell(0, {0x02, 'A'});
    odd.setCell(1, {0x02, 0});
    EXPECT_EQ(MessageSize(odd), 3);
    MessageRecord noZero;
    noZero.bytes.fill(0x41);
    EXPECT_EQ(MessageSize(noZero), kRecordSize);
}

TEST(StepDelay, FollowsTheRequest) {
    struct Case {
        DelayRequest request;
        std::uint8_t length;
        EffectType type;
        std::int16_t character;
        int speed;
        std::uint32_t ticks;
    };
    const std::vector<Case> cases{
        {DelayRequest::Pause, 2, EffectType::Scroller, 0, 2, 266},
        {DelayRequest::Pause, 1, EffectType::StandingText, 'A', 5, 133},
        {DelayRequest::Ticks, 20, EffectType::BlinkInverse, 0, 2, 20},
        {DelayRequest::None, 0, EffectType::Scroller, 'A', 7, 7},
        {DelayRequest::None, 0, EffectType::Scroller, 0, 7, 0},
        {DelayRequest::None, 0, EffectType::SlideFromBottom, 0, 1, 1},
        {DelayRequest::None, 0, EffectType(12), 0, 20, 20},
        {DelayRequest::None, 0, EffectType::Pixels, 0, 0, 1}, // speed kept within 1..20
    };
    for (const Case& c : cases) {
        Track t;
        t.delayRequest = c.request;
        t.pauseLength = c.length;
        t.effectType = c.type;
        t.character = c.character;
        EXPECT_EQ(StepDelay(t, c.speed), c.ticks);
        EXPECT_EQ(t.delayRequest, DelayRequest::None);
    }
}

TEST(DisplayTimeTicks, Table) {
    const std::vector<std::pair<int, std::uint32_t>> cases{
        {0, 0},     {1, 83},    {2, 167},   {3, 250},      {4, 333},      {5, 417},   {6, 500},
        {7, 583},   {8, 667},   {9, 750},   {10, 833},     {11, 1667},    {12, 2500}, {13, 3333},
        {14, 4167}, {15, 5000}, {16, 7500}, {100, 217500}, {134, 302500}, {-1, 0},    {135, 302500},
    };
    for (const auto& [position, ticks] : cases)
        EXPECT_EQ(DisplayTimeTicks(position), ticks) << position;
}

TEST(PixelGenerator, IsTheLinearCongruentialGenerator) {
    PixelGenerator g(1);
    EXPECT_EQ(g.next(), 16838u);
    EXPECT_EQ(g.next(), 5758u);
    EXPECT_EQ(g.next(), 10113u);
    EXPECT_EQ(g.next(), 17515u);
    g.restart(1);
    EXPECT_EQ(g.next(), 16838u);
    EXPECT_EQ(g.state(), 1103527590u);
}

TEST(TickCounters, CountDownStopsAtZero) {
    TickCounters c;
    c.StepDelayUpper = 2;
    c.StepDelayLower = 0;
    c.DisplayTimeCounter = 1;
    c.countDown();
    EXPECT_EQ(c.StepDelayUpper.load(), 1u);
    EXPECT_EQ(c.StepDelayLower.load(), 0u);
    EXPECT_EQ(c.DisplayTimeCounter.load(), 0u);
    c.countDown();
    c.countDown();
    EXPECT_EQ(c.StepDelayUpper.load(), 0u);
    EXPECT_EQ(c.DisplayTimeCounter.load(), 0u);
}

TEST(TickCounters, InitEmulatorClearsUpperDelayAndDisplayTime) {
    Bench b(1, 8);
    b.emu.counters.StepDelayUpper = 40;
    b.emu.counters.StepDelayLower = 30;
    b.emu.counters.DisplayTimeCounter = 500;
    b.emu.frame.fill(0xFF);
    ASSERT_TRUE(InitEmulator(b.emu).ok());
    EXPECT_EQ(b.emu.counters.StepDelayUpper.load(), 0u);
    EXPECT_EQ(b.emu.counters.DisplayTimeCounter.load(), 0u);
    EXPECT_EQ(b.emu.counters.StepDelayLower.load(), 30u); // set anew when a test starts
    EXPECT_EQ(litPixels(b.emu.geometry, b.emu.frame, 0, 8), 0);
}

TEST(ManualTickSource, AdvancesOnlyWhenTold) {
    TickCounters c;
    ManualTickSource ticks(c);
    c.StepDelayUpper = 3;
    EXPECT_EQ(ticks.ticks(), 0u);
    ticks.advance(2);
    EXPECT_EQ(ticks.ticks(), 2u);
    EXPECT_EQ(c.StepDelayUpper.load(), 1u);
    ticks.waitForTick(2, std::chrono::milliseconds(0)); // waiting lets one tick pass
    EXPECT_EQ(ticks.ticks(), 3u);
    EXPECT_EQ(c.StepDelayUpper.load(), 0u);
    ticks.waitForTick(1, std::chrono::milliseconds(0)); // already past: no tick
    EXPECT_EQ(ticks.ticks(), 3u);
}

TEST(RealTickSource, CountsDownFromItsOwnThread) {
    TickCounters c;
    c.StepDelayUpper = 3;
    c.DisplayTimeCounter = 1000000;
    RealTickSource ticks(c, std::chrono::milliseconds(1));
    std::uint64_t seen = ticks.ticks();
    // Generous limits: this checks that ticks arrive and wake a waiter, not their timing.
    for (int i = 0; i < 2000 && (c.StepDelayUpper.load() > 0 || ticks.ticks() < 5); ++i) {
        ticks.waitForTick(seen, std::chrono::milliseconds(100));
        seen = ticks.ticks();
    }
    ticks.stop();
    EXPECT_GE(ticks.ticks(), 5u);
    EXPECT_EQ(c.StepDelayUpper.load(), 0u);
    EXPECT_EQ(c.DisplayTimeCounter.load(), 1000000u - std::uint32_t(ticks.ticks()));
}

TEST(SystemClock, GivesAPlausibleDate) {
    const LocalDateTime now = SystemClock().now();
    EXPECT_GE(now.year, 2000);
    EXPECT_GE(now.month, 1);
    EXPECT_LE(now.month, 12);
    EXPECT_GE(now.day, 1);
    EXPECT_LE(now.day, 31);
    EXPECT_LE(now.hour, 23);
    EXPECT_LE(now.minute, 59);
}
