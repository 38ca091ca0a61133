#include "linktesting.h"
#include "settings.h"
#include "signjobs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace pixbar::service {
namespace {

using testing::Bytes;
using testing::Decode;
using testing::Rig;
using testing::Sent;

/// What a job puts on the line of a sign that takes everything, and the state it leaves.
struct Ran {
    ProtocolResult result = ProtocolResult::Ok;
    std::vector<Sent> frames;
    SignSettings settings;
    SignStatus status;
};

Ran RunOnSign(Job& job, SignSettings settings = {}) {
    Rig rig;
    rig.acknowledgeAll();
    Ran ran;
    JobContext context{*rig.protocol, 1, settings};
    ran.result = job.run(context);
    for (const Bytes& w : rig.port->writes()) ran.frames.push_back(Decode(w));
    ran.settings = settings;
    if (job.applied) job.applied(ran.status);
    return ran;
}

Bytes RecordOf(std::string_view text) {
    auto parsed = ParseMessageBody("text/plain", text);
    EXPECT_TRUE(std::holds_alternative<MessageRecord>(parsed)) << text;
    if (!std::holds_alternative<MessageRecord>(parsed)) return {};
    const auto& bytes = std::get<MessageRecord>(parsed).bytes;
    return Bytes(bytes.begin(), bytes.end());
}

Bytes ConfigBytes(int brightness, int speed, int displayTime) {
    const SignConfig c = BuildSignConfig(brightness, speed, displayTime);
    return Bytes(c.begin(), c.end());
}

TEST(CommandJobTest, RefusedPayloads) {
    struct Case {
        std::string command, payload;
        int status;
    };
    const std::vector<Case> cases = {
        {"brightness", "0", 400},   {"brightness", "101", 400}, {"brightness", "", 400},
        {"brightness", "abc", 400}, {"brightness", "50.5", 400}, {"brightness", "-1", 400},
        {"brightness", "+5", 400},  {"brightness", "5x", 400},  {"brightness", "1e2", 400},
        {"speed", "0", 400},        {"speed", "21", 400},       {"speed", "", 400},
        {"displaytime", "-1", 400}, {"displaytime", "135", 400}, {"displaytime", "x", 400},
        {"show", "0", 400},         {"show", "10", 400},        {"show", "", 400},
        {"show", "3.0", 400},       {"show", "trzy", 400},
        {"live", "{efect 3}", 400}, {"live", "\xC5", 400},      {"live", "a\xFF" "b", 400},
        {"message/1", "{efect 3}", 400},
        {"message/0", "a", 404},    {"message/9", "a", 404},    {"message/x", "a", 404},
        {"message/", "a", 404},     {"message/-1", "a", 404},
        {"blink", "1", 404},        {"", "1", 404},             {"Live", "a", 404},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command + " <- '" + c.payload + "'");
        auto job = CommandJob(c.command, c.payload);
        ASSERT_TRUE(std::holds_alternative<BadRequest>(job));
        const BadRequest& bad = std::get<BadRequest>(job);
        EXPECT_EQ(bad.status, c.status);
        EXPECT_FALSE(bad.error.empty());
    }
}

TEST(CommandJobTest, TextFormErrorsSayWhere) {
    auto job = CommandJob("live", "Dobry\n{efect 3}");
    ASSERT_TRUE(std::holds_alternative<BadRequest>(job));
    const BadRequest& bad = std::get<BadRequest>(job);
    EXPECT_EQ(bad.line, 2);
    EXPECT_GE(bad.column, 1);
}

TEST(CommandJobTest, SettingsEveryValueOfTheirRange) {
    struct Setting {
        std::string command;
        int min, max;
    };
    for (const Setting& s : {Setting{"brightness", 1, 100}, Setting{"speed", 1, 20},
                             Setting{"displaytime", 0, kDisplayTimeNoSwitch}}) {
        for (int v = s.min - 2; v <= s.max + 2; ++v) {
            SCOPED_TRACE(s.command + " " + std::to_string(v));
            // Home Assistant and shell scripts end payloads with spaces or a newline.
            const std::string payload = v % 3 == 0 ? std::to_string(v) + "\n" : " " + std::to_string(v);
            auto job = CommandJob(s.command, payload);
            const bool inRange = v >= s.min && v <= s.max;
            ASSERT_EQ(std::holds_alternative<Job>(job), inRange);
            if (!inRange) continue;
            Job& j = std::get<Job>(job);
            EXPECT_EQ(j.replaces, s.command);
            const SignSettings before{33, 7, 20};
            const Ran ran = RunOnSign(j, before);
            EXPECT_EQ(ran.result, ProtocolResult::Ok);
            ASSERT_EQ(ran.frames.size(), 1u);
            EXPECT_EQ(ran.frames[0].command, kCommandConfiguration);
            // Only the setting named changes; the others stay what the sign had.
            SignSettings after = before;
            (s.command == "brightness" ? after.brightness
             : s.command == "speed"    ? after.speed
                                       : after.displayTime) = v;
            EXPECT_EQ(ran.settings, after);
            EXPECT_EQ(ran.frames[0].payload,
                      ConfigBytes(after.brightness, after.speed, after.displayTime));
        }
    }
}

TEST(CommandJobTest, ShowEverySlot) {
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        auto job = CommandJob("show", std::to_string(slot) + (slot % 2 ? "" : "\r\n"));
        ASSERT_TRUE(std::holds_alternative<Job>(job)) << slot;
        Job& j = std::get<Job>(job);
        EXPECT_TRUE(j.replaces.empty()); // every show is a step the user asked for
        const Ran ran = RunOnSign(j);
        ASSERT_EQ(ran.frames.size(), 1u);
        EXPECT_EQ(ran.frames[0].command, slot == kSlotCount ? kCommandShowSlot9
                                                            : kCommandShowSlot1 + slot - 1);
        EXPECT_EQ(ran.status.shown, slot);
    }
}

TEST(CommandJobTest, LiveTextGoesToSlotNine) {
    for (const std::string& text : std::vector<std::string>{"Witaj", "Zażółć gęślą jaźń", "{effect 3}Promocja{pause 2}",
                                   std::string(255, 'x')}) {
        SCOPED_TRACE(text);
        auto job = CommandJob("live", text);
        ASSERT_TRUE(std::holds_alternative<Job>(job));
        Job& j = std::get<Job>(job);
        EXPECT_EQ(j.replaces, "live");
        const Ran ran = RunOnSign(j);
        ASSERT_EQ(ran.frames.size(), 1u);
        EXPECT_EQ(ran.frames[0].command, kCommandStoreSlot9);
        const Bytes expected = RecordOf(text);
        EXPECT_EQ(ran.frames[0].payload, expected);
        EXPECT_TRUE(std::any_of(expected.begin(), expected.end(), [](auto b) { return b != 0; }));
        EXPECT_EQ(ran.status.live, std::optional<std::string>(text));
    }
}

TEST(CommandJobTest, EmptyLivePayloadClearsSlotNine) {
    auto job = CommandJob("live", "");
    ASSERT_TRUE(std::holds_alternative<Job>(job));
    Job& j = std::get<Job>(job);
    EXPECT_EQ(j.replaces, "live");
    SignStatus before;
    before.live = "stary tekst";
    Ran ran = RunOnSign(j);
    ASSERT_EQ(ran.frames.size(), 1u);
    EXPECT_EQ(ran.frames[0].command, kCommandStoreSlot9);
    EXPECT_EQ(ran.frames[0].payload, Bytes(kRecordSize, 0));
    j.applied(before);
    EXPECT_FALSE(before.live);
}

TEST(CommandJobTest, MessagesGoToTheirNumber) {
    for (int n = 1; n <= kMessageCount; ++n) {
        const std::string text = "Komunikat " + std::to_string(n);
        auto job = CommandJob("message/" + std::to_string(n), text);
        ASSERT_TRUE(std::holds_alternative<Job>(job)) << n;
        Job& j = std::get<Job>(job);
        EXPECT_TRUE(j.replaces.empty()); // stored messages are never dropped
        const Ran ran = RunOnSign(j);
        ASSERT_EQ(ran.frames.size(), std::size_t(kMessageBlocks));
        Bytes record;
        for (const Sent& f : ran.frames) {
            EXPECT_EQ(f.command, kCommandMessageBlock);
            EXPECT_EQ(f.payload[0], n - 1);
            record.insert(record.end(), f.payload.begin() + kBlockHeaderSize, f.payload.end());
        }
        EXPECT_EQ(record, RecordOf(text));
    }
}

TEST(CommandJobTest, ClockTakesAnyPayload) {
    for (const std::string payload : {"", "PRESS", "1", "teraz"}) {
        auto job = CommandJob("clock", payload);
        ASSERT_TRUE(std::holds_alternative<Job>(job)) << payload;
        const Ran ran = RunOnSign(std::get<Job>(job));
        ASSERT_EQ(ran.frames.size(), 1u);
        EXPECT_EQ(ran.frames[0].command, kCommandSetClock);
    }
}

} // namespace
} // namespace pixbar::service
