#include "player_fixture.h"

using namespace playertest;

namespace {

const std::vector<std::string> kBlank8 = rowsOf({"........", "........", "........", "........",
                                                 "........", "........", "........", "........"});
const std::vector<std::string> kDiagonal = rowsOf({"#.......", ".#......", "..#.....", "...#....",
                                                   "....#...", ".....#..", "......#.", ".......#"});

/// A test of `effect` on a line holding the diagonal glyph, on a sign of one register.
/// Every such test begins the same way: eight counting steps of the scroller and the read of
/// the effect item at tick 0, then the effect's first step at tick 2 (speed 2).
Bench& playDiagonal(Bench& b, EffectCode effect) {
    EXPECT_TRUE(b.play(Message().effect(effect).text(2, "D")));
    EXPECT_EQ(b.paints, 9);
    EXPECT_EQ(b.shown(), kBlank8);
    return b;
}

} // namespace

TEST(Scroller, EightCountingStepsThenOnePixelEverySpeedTicks) {
    Bench b(1, 8);
    ASSERT_TRUE(b.play(Message().text(2, "I")));
    // Eight counting steps and the step that draws the glyph all fall at tick 0.
    EXPECT_EQ(b.paints, 9);
    EXPECT_EQ(b.row(0), ".......#");
    EXPECT_EQ(b.emu.counters.StepDelayUpper.load(), 2u);
    b.runTo(1);
    EXPECT_EQ(b.row(0), ".......#");
    b.runTo(2);
    EXPECT_EQ(b.row(0), "......#.");
    b.runTo(14);
    EXPECT_EQ(b.row(0), "#.......");
    EXPECT_EQ(b.paints, 9 + 7);
    // The glyph has moved its width: the message starts again at the right edge.
    b.runTo(16);
    EXPECT_EQ(b.row(0), ".......#");
    EXPECT_EQ(b.shown()[7], ".......#");
}

TEST(Scroller, SpeedSetsTheTicksPerPixel) {
    Bench b(1, 8);
    b.settings.speed = 5;
    ASSERT_TRUE(b.play(Message().text(2, "I")));
    b.runTo(4);
    EXPECT_EQ(b.row(0), ".......#");
    b.runTo(5);
    EXPECT_EQ(b.row(0), "......#.");
}

TEST(Scroller, TouchingGlyphsGetOneBlankColumn) {
    Bench b(2, 8);
    ASSERT_TRUE(b.play(Message().text(2, "HH")));
    b.runTo(14);
    EXPECT_EQ(b.row(0), "........########");
    b.runTo(16); // the second glyph would touch: it waits one pixel
    EXPECT_EQ(b.row(0), ".......########.");
    b.runTo(18);
    EXPECT_EQ(b.row(0), "......########.#");
}

TEST(Scroller, SymbolFontAndGraphicSymbolsTouch) {
    for (int font : {int(kFontSymbols), int(kFontGraphicSymbols)}) {
        Bench b(2, 8);
        const std::uint8_t code = font == kFontGraphicSymbols ? 1 : 'H';
        ASSERT_TRUE(
            b.play(Message().cell(std::uint8_t(font), code).cell(std::uint8_t(font), code)));
        b.runTo(16);
        EXPECT_EQ(b.row(0), ".......#########") << font;
    }
}

TEST(Scroller, InverseGlyphsDoNotWaitForAGap) {
    Bench b(2, 8);
    ASSERT_TRUE(b.play(Message().inverse().text(2, "II")));
    b.runTo(14);
    EXPECT_EQ(b.row(0), ".........#######"); // the inverted bar lights the last column
    b.runTo(18); // yet the next glyph came at tick 16, without waiting a pixel
    EXPECT_EQ(b.row(0), ".......#######.#");
}

TEST(Scroller, LastCellWaitingForAGapIsShownAfterIt) {
    // "H" then the message wraps to "H" again: the wrapped read touches and is read again.
    Bench b(2, 8);
    ASSERT_TRUE(b.play(Message().text(2, "H")));
    b.runTo(14);
    EXPECT_EQ(b.row(0), "........########");
    b.runTo(16);
    EXPECT_EQ(b.row(0), ".......########.");
    b.runTo(18);
    EXPECT_EQ(b.row(0), "......########.#");
}

TEST(Scroller, InverseBandUnderALowGlyphOnASixteenPixelSign) {
    Bench b(1, 16);
    ASSERT_TRUE(b.play(Message().inverse().text(2, "I")));
    b.runTo(14);
    const auto shown = b.shown();
    for (int y = 0; y < 8; ++y) EXPECT_EQ(shown[std::size_t(y)], ".#######") << y;
    for (int y = 8; y < 16; ++y) EXPECT_EQ(shown[std::size_t(y)], "########") << y;
}

TEST(Scroller, PauseStopsTheScrollingFor266Ticks) {
    Bench b(1, 8);
    ASSERT_TRUE(b.play(Message().text(2, "I").pause(kDefaultPause).text(2, "I")));
    b.runTo(16);
    EXPECT_EQ(b.row(0), "#.......");
    EXPECT_EQ(b.emu.counters.StepDelayUpper.load(), 266u);
    const int paints = b.paints;
    b.runTo(281);
    EXPECT_EQ(b.row(0), "#.......");
    EXPECT_EQ(b.paints, paints);
    b.runTo(282);
    EXPECT_EQ(b.row(0), ".......#");
}

TEST(StandingText, ShowsTheLineThenPauses133Ticks) {
    Bench b(2, 8);
    ASSERT_TRUE(b.play(Message().effect(EffectCode::StandingText).text(2, "ID").text(2, "H")));
    b.runTo(1);
    EXPECT_EQ(b.row(0), "................");
    b.runTo(2);
    EXPECT_EQ(b.shown(), b.reference(1, "ID"));
    b.runTo(134);
    EXPECT_EQ(b.shown(), b.reference(1, "ID"));
    b.runTo(135); // the next line, cleared first
    EXPECT_EQ(b.row(0), "########........");
}

TEST(SlideFromBottom, RisesOverTheOldPicture) {
    Bench b(1, 8);
    playDiagonal(b, EffectCode::SlideFromBottom);
    b.runTo(2);
    EXPECT_EQ(b.shown(), kBlank8);
    b.runTo(4);
    EXPECT_EQ(b.shown(), rowsOf({"........", "........", "........", "........", "........",
                                 "........", "........", "#......."}));
    b.runTo(10);
    EXPECT_EQ(b.shown(), rowsOf({"........", "........", "........", "........", "#.......",
                                 ".#......", "..#.....", "...#...."}));
    b.runTo(18);
    EXPECT_EQ(b.shown(), kDiagonal);
    b.runTo(20); // completed: the pause
    EXPECT_EQ(b.emu.counters.StepDelayUpper.load(), 133u);
    const int paints = b.paints;
    b.runTo(152);
    EXPECT_EQ(b.paints, paints);
    EXPECT_EQ(b.shown(), kDiagonal);
}

TEST(SlideFromTop, DescendsFromTheTopEdge) {
    Bench b(1, 8);
    playDiagonal(b, EffectCode::SlideFromTop);
    b.runTo(4);
    EXPECT_EQ(b.shown(), rowsOf({".......#", "........", "........", "........", "........",
                                 "........", "........", "........"}));
    b.runTo(10);
    EXPECT_EQ(b.shown(), rowsOf({"....#...", ".....#..", "......#.", ".......#", "........",
                                 "........", "........", "........"}));
    b.runTo(18);
    EXPECT_EQ(b.shown(), kDiagonal);
    b.runTo(20);
    EXPECT_EQ(b.emu.counters.StepDelayUpper.load(), 133u);
}

TEST(SlideFromBottom, LowerTrackShowsScratchRowsOfTheUpperAreaFirst) {
    // On the lower half the slide starts with rows composed for the other area.
    Bench b(1, 16);
    const Message upper =
        Message().effect(EffectCode::StandingText).text(2, "H").kind(MessageKind::Upper);
    const Message lower = Message().effect(EffectCode::SlideFromBottom).text(2, "D");
    ASSERT_TRUE(b.play(upper, lower));
    b.runTo(2); // both tracks take their first effect step
    b.emu.scratch.fill(0);
    for (int y = 0; y < 8; ++y) b.emu.scratch[std::size_t(y * b.emu.geometry.stride)] = 0xF0;
    b.runTo(4); // offset 15: scratch row 0 shows at row 15
    EXPECT_EQ(b.row(15), "####....");
    EXPECT_EQ(b.row(14), "........");
}

TEST(BlindFromBottom, UncoversRowByRowFromTheBottom) {
    Bench b(1, 8);
    playDiagonal(b, EffectCode::BlindFromBottom);
    b.runTo(2);
    EXPECT_EQ(b.shown(), kBlank8);
    b.runTo(4);
    EXPECT_EQ(b.shown(), rowsOf({"........", "........", "........", "........", "........",
                                 "........", "........", ".......#"}));
    b.runTo(10);
    EXPECT_EQ(b.shown(), rowsOf({"........", "........", "........", "........", "....#...",
                                 ".....#..", "......#.", ".......#"}));
    b.runTo(18); // the top row, and the pause at once
    EXPECT_EQ(b.shown(), kDiagonal);
    EXPECT_EQ(b.emu.counters.StepDelayUpper.load(), 133u);
}

TEST(BlindFromTop, UncoversRowByRowFromTheTop) {
    Bench b(1, 8);
    playDiagonal(b, EffectCode::BlindFromTop);
    b.runTo(4);
    EXPECT_EQ(b.shown(), rowsOf({"#.......", "........", "........", "........", "........",
                                 "........", "........", "........"}));
    b.runTo(10);
    EXPECT_EQ(b.shown(), rowsOf({"#.......", ".#......", "..#.....", "...#....", "........",
                                 "........", "........", "........"}));
    b.runTo(18);
    EXPECT_EQ(b.shown(), kDiagonal);
    EXPECT_EQ(b.emu.counters.StepDelayUpper.load(), 133u);
}

TEST(LinesFromBottom, RowsFlyUpOneAtATimeTopRowFirst) {
    Bench b(1, 8);
    playDiagonal(b, EffectCode::LinesFromBottom);
    b.runTo(4);
    EXPECT_EQ(b.shown(), rowsOf({"........", "........", "........", "........", "........",
                                 "........", "........", "#......."}));
    b.runTo(10); // the top row, four rows up, its old place erased
    EXPECT_EQ(b.shown(), rowsOf({"........", "........", "........", "........", "#.......",
                                 "........", "........", "........"}));
    b.runTo(18);
    EXPECT_EQ(b.shown(), rowsOf({"#.......", "........", "........", "........", "........",
                                 "........", "........", "........"}));
    b.runTo(20); // the second row sets off
    EXPECT_EQ(b.shown(), rowsOf({"#.......", "........", "........", "........", "........",
                                 "........", "........", ".#......"}));
    b.runTo(74); // 36 moves: the last row has arrived
    EXPECT_EQ(b.shown(), kDiagonal);
    EXPECT_EQ(b.emu.counters.StepDelayUpper.load(), 2u);
    b.runTo(76); // the completing copy and the pause
    EXPECT_EQ(b.shown(), kDiagonal);
    EXPECT_EQ(b.emu.counters.StepDelayUpper.load(), 133u);
}

TEST(LinesFromTop, RowsFlyDownOneAtATimeBottomRowFirst) {
    Bench b(1, 8);
    playDiagonal(b, EffectCode::LinesFromTop);
    b.runTo(4);
    EXPECT_EQ(b.shown(), rowsOf({".......#", "........", "........", "........", "........",
                                 "........", "........", "........"}));
    b.runTo(10);
    EXPECT_EQ(b.shown(), rowsOf({"........", "........", "........", ".......#", "........",
                                 "........", "........", "........"}));
    b.runTo(20); // the bottom row arrived at tick 18; the next one sets off from the top
    EXPECT_EQ(b.shown(), rowsOf({"......#.", "........", "........", "........", "........",
                                 "........", "........", ".......#"}));
    b.runTo(72); // 35 moves: the top row is not animated
    EXPECT_EQ(b.shown(), rowsOf({"........", ".#......", "..#.....", "...#....", "....#...",
                                 ".....#..", "......#.", ".......#"}));
    b.runTo(74); // the completing copy brings the top row, then the pause
    EXPECT_EQ(b.shown(), kDiagonal);
    EXPECT_EQ(b.emu.counters.StepDelayUpper.load(), 133u);
}

TEST(Pixels, LineBuildsUpFromRandomPixelsAndCompletes) {
    Bench b(4, 16);
    ASSERT_TRUE(b.play(Message().effect(EffectCode::Pixels).text(7, "HHHH")));
    b.runTo(2); // composed, nothing shown yet
    const SignGeometry& g = b.emu.geometry;
    EXPECT_EQ(litPixels(g, b.emu.frame, 0, 16), 0);
    const int target = litPixels(g, b.emu.scratch, 0, 16);
    ASSERT_GT(target, 400);

    std::vector<int> lit;
    for (std::uint64_t t = 4; t <= 64; t += 2) {
        b.runTo(t);
        lit.push_back(litPixels(g, b.emu.frame, 0, 16));
    }
    ASSERT_EQ(lit.size(), 31u);
    EXPECT_GT(lit[0], 0);
    EXPECT_LE(lit[0], 100);
    // The generator carries on from round to round, so the line keeps building up.
    EXPECT_GT(lit[1], lit[0]);
    EXPECT_GT(lit[2], lit[1]);
    EXPECT_GT(lit[30], target * 9 / 10);
    EXPECT_LE(lit[30], target);
    b.runTo(66);
    EXPECT_EQ(b.shown(), picture(g, b.emu.scratch));
    EXPECT_EQ(b.emu.counters.StepDelayUpper.load(), 133u);
}

TEST(Pixels, StartingValueMakesTheTestRepeatable) {
    auto roundOne = [](std::uint32_t start) {
        Bench b(2, 8);
        b.driver.player().setGeneratorStart(start);
        b.play(Message().effect(EffectCode::Pixels).text(2, "HH"));
        b.runTo(4);
        return b.shown();
    };
    EXPECT_EQ(roundOne(1), roundOne(1));
    EXPECT_NE(roundOne(1), roundOne(77));
}

TEST(Pixels, SmallSignIsCompleteBeforeTheCompletingStep) {
    Bench b(1, 8);
    ASSERT_TRUE(b.play(Message().effect(EffectCode::Pixels).text(2, "H")));
    b.runTo(64);
    EXPECT_EQ(litPixels(b.emu.geometry, b.emu.frame, 0, 8), 64);
}

namespace {

/// Records every change of the picture between two ticks.
std::vector<std::uint64_t> changes(Bench& b, std::uint64_t from, std::uint64_t to) {
    std::vector<std::uint64_t> at;
    b.runTo(from);
    auto last = b.shown();
    for (std::uint64_t t = from + 1; t <= to; ++t) {
        b.runTo(t);
        if (b.shown() != last) at.push_back(t);
        last = b.shown();
    }
    return at;
}

} // namespace

TEST(BlinkInverse, BlinksEightTimesThenTheNextLineStands) {
    Bench b(1, 8);
    ASSERT_TRUE(b.play(Message()
                           .effect(EffectCode::StandingText)
                           .text(2, "I")
                           .effect(EffectCode::BlinkInverse)
                           .text(2, "H")));
    b.runTo(2);
    EXPECT_EQ(b.row(0), "#.......");
    b.runTo(137);
    EXPECT_EQ(b.row(0), "#.......");
    b.runTo(139);
    EXPECT_EQ(b.row(0), ".#######");
    const std::vector<std::uint64_t> expected{159, 179, 199, 219, 239, 259, 279};
    EXPECT_EQ(changes(b, 139, 298), expected);
    EXPECT_EQ(b.row(0), "#......."); // eight inversions end on the picture they began with
    b.runTo(299);
    EXPECT_EQ(b.row(0), "########"); // "Tekst stojący" resumes with the next line
}

TEST(BlinkScreen, BlanksAndRestoresFourTimesEndingLit) {
    Bench b(1, 8);
    ASSERT_TRUE(b.play(Message()
                           .effect(EffectCode::StandingText)
                           .text(2, "I")
                           .effect(EffectCode::BlinkScreen)
                           .text(2, "H")));
    b.runTo(137);
    EXPECT_EQ(b.row(0), "#.......");
    b.runTo(139);
    EXPECT_EQ(b.row(0), "........");
    const std::vector<std::uint64_t> expected{159, 179, 199, 219, 239, 259, 279};
    EXPECT_EQ(changes(b, 139, 298), expected);
    EXPECT_EQ(b.row(0), "#......."); // four times dark, ending lit
    b.runTo(299);
    EXPECT_EQ(b.row(0), "########");
}

TEST(Typewriter, OneCharacterEveryTwentyTicksThenThePause) {
    Bench b(3, 8);
    ASSERT_TRUE(b.play(Message().effect(EffectCode::Typewriter).text(2, "III")));
    b.runTo(2);
    EXPECT_EQ(b.row(0), "#.......................");
    b.runTo(21);
    EXPECT_EQ(b.row(0), "#.......................");
    b.runTo(22);
    EXPECT_EQ(b.row(0), "#.......#...............");
    b.runTo(42);
    EXPECT_EQ(b.row(0), "#.......#.......#.......");
    EXPECT_EQ(b.emu.counters.StepDelayUpper.load(), 133u);
}

TEST(Fields, TimeDateAndTemperatureInTheFontOfTheirCell) {
    {
        Bench b(6, 8);
        ASSERT_TRUE(b.play(Message().effect(EffectCode::StandingText).time(2).text(2, " ")));
        b.runTo(2);
        EXPECT_EQ(b.shown(), b.reference(1, "09:05 "));
        EXPECT_NE(b.shown(), b.reference(1, "05:09 "));
    }
    {
        Bench b(11, 8);
        ASSERT_TRUE(b.play(Message().effect(EffectCode::StandingText).date(3).text(3, " ")));
        b.runTo(2);
        EXPECT_EQ(b.shown(), b.reference(2, "06/12/2026 "));
    }
    {
        Bench b(2, 8);
        ASSERT_TRUE(b.play(Message().effect(EffectCode::StandingText).temperature(1).text(1, " ")));
        b.runTo(2);
        EXPECT_EQ(b.shown(), b.reference(0, "21 "));
        EXPECT_NE(b.shown(), b.reference(1, "21 "));
    }
}

TEST(Fields, ScrolledTimeUsesTheClockAtTheRead) {
    Bench b(1, 8);
    b.clock.set({2026, 12, 6, 23, 59});
    ASSERT_TRUE(b.play(Message().time(2)));
    // The first character is drawn at the right edge: its first column is glyph '2'.
    EXPECT_EQ(b.row(0).back(), (testGlyphRow('2', 0, 8) & 0x80) ? '#' : '.');
    b.runTo(14);
    std::string first;
    for (int y = 0; y < 8; ++y) first += b.row(y);
    auto ref = b.reference(1, "2");
    std::string expected;
    for (const auto& r : ref) expected += r;
    EXPECT_EQ(first, expected);
}
