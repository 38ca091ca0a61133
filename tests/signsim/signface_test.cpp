#include "player_fixture.h"
#include "signface.h"

#include <gtest/gtest.h>

using namespace pixbar;
using playertest::Message;

namespace {

SignContent holding(int shown) {
    SignContent c;
    for (int n = 1; n <= kSlotCount; ++n)
        c.records[std::size_t(n - 1)] = Message().text(2, std::string(1, char('0' + n)));
    c.shown = shown;
    return c;
}

} // namespace

TEST(SignFace, PlaysTheShownSlotPairedAsThePreviewPairsPages) {
    struct Row {
        int shown;
        int upperSlot; ///< made an upper message, or 0
        int played;
        int following; ///< 0: none
    };
    const Row rows[] = {
        {0, 0, 1, 2}, // before any show: slot 1
        {3, 0, 3, 4},
        {8, 8, 8, 1}, // page 8 brings page 1
        {9, 0, 9, 0}, // slot 9 stands alone
    };
    for (const Row& r : rows) {
        SignContent c = holding(r.shown);
        if (r.upperSlot) c.records[std::size_t(r.upperSlot - 1)].setKind(1);
        const FacePlan plan = PlanFace(c);
        EXPECT_EQ(plan.record, c.records[std::size_t(r.played - 1)]) << r.shown;
        EXPECT_EQ(plan.following,
                  r.following ? c.records[std::size_t(r.following - 1)] : MessageRecord{})
            << r.shown;
    }
}

TEST(SignFace, ATextShowsStandingUntilAMessageReplacesIt) {
    SignContent c = holding(9);
    c.texts[8] = "12:34";
    c.showsText[8] = true;
    const FacePlan plan = PlanFace(c);
    EXPECT_EQ(plan.record, LiveTextRecord("12:34"));
    EXPECT_EQ(plan.record.cell(0), (Cell{kAttrLead, kLeadEffect}));
    EXPECT_EQ(plan.record.cell(1), (Cell{std::uint8_t(EffectCode::StandingText), kParameterMark}));
    EXPECT_EQ(plan.record.cell(2), (Cell{kLiveTextFont, '1'}));
    EXPECT_EQ(plan.record.cell(7), (Cell{}));
    // A text longer than a record keeps the last cell as the end.
    EXPECT_EQ(LiveTextRecord(std::string(2000, 'x')).cell(kCellCount - 1), (Cell{}));

    c.showsText[8] = false;
    EXPECT_EQ(PlanFace(c).record, c.records[8]);
}

TEST(SignFace, TheReceivedConfigurationTimesThePlay) {
    SignContent c = holding(1);
    EXPECT_EQ(PlanFace(c).settings.speed, 2); // the designer's first configuration
    EXPECT_EQ(PlanFace(c).settings.DisplayTimePosition, 12);
    EXPECT_EQ(PlanFace(c).settings.switching, 1);
    c.config = {0, 90, 7, 134, 0, 0, 0, 0};
    EXPECT_EQ(PlanFace(c).settings.speed, 7);
    EXPECT_EQ(PlanFace(c).settings.DisplayTimePosition, 134);
    EXPECT_EQ(PlanFace(c).settings.switching, 0);
    c.config = {1, 90, 0, 200, 0, 0, 0, 0}; // out of range: the nearest value the player knows
    EXPECT_EQ(PlanFace(c).settings.speed, 1);
    EXPECT_EQ(PlanFace(c).settings.DisplayTimePosition, 134);
}

TEST(SignClock, RunsOnFromTheTimeItWasSet) {
    using namespace std::chrono;
    SignClock clock;
    clock.set({26, 12, 31, 23, 59, 30});
    const auto t = [&](steady_clock::duration d) {
        const LocalDateTime x = clock.at(d);
        return std::vector<int>{x.year, x.month, x.day, x.hour, x.minute};
    };
    EXPECT_EQ(t(seconds(0)), (std::vector<int>{2026, 12, 31, 23, 59}));
    EXPECT_EQ(t(seconds(30)), (std::vector<int>{2027, 1, 1, 0, 0}));
    EXPECT_EQ(t(hours(24 * 59)), (std::vector<int>{2027, 2, 28, 23, 59}));
    clock.set({28, 2, 31, 9, 5, 0}); // no 31 February: the last day of the month
    EXPECT_EQ(t(seconds(0)), (std::vector<int>{2028, 2, 29, 9, 5}));
}
