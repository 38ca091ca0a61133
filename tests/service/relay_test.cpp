// The relay's rules on a memory port: who gets the line, when, and for how long. The clock is
// scripted: waits move it, and client events happen when it passes their time.
#include "relay.h"
#include "servicetesting.h"
#include "signjobs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <map>

namespace pixbar::service {
namespace {

using testing::Bytes;
using testing::FakeSign;
using testing::WaitFor;

constexpr std::uint16_t kSign = 1;

Bytes Request(std::uint8_t command, const Bytes& payload = {}) {
    Bytes buffer(kFrameCapacity);
    FrameBuilder builder(buffer);
    builder.frame(kHostAddress, kSign, command, payload);
    buffer.resize(builder.size());
    return buffer;
}

class ScriptClock : public LinkClock, public RelayClock {
public:
    std::int64_t elapsedMs() override { return m_now; }
    std::int64_t nowMs() override { return m_now; }
    void sleepMs(int ms) override { advance(ms, false); }
    LocalTime localTime() override { return {}; }
    void waitFor(std::unique_lock<std::mutex>& lock, std::condition_variable&, int ms) override {
        // A client's event wakes the relay as its condition variable would.
        lock.unlock();
        advance(std::max(ms, 1), true);
        lock.lock();
    }
    /// Runs `what` once the clock reaches `ms` (on the thread that moves it).
    void at(std::int64_t ms, std::function<void()> what) {
        std::lock_guard lock(m_mutex);
        m_events.emplace(ms, std::move(what));
    }
    void advance(int ms, bool wakeOnEvent = false) {
        const std::int64_t target = m_now + ms;
        for (;;) {
            std::function<void()> what;
            {
                std::lock_guard lock(m_mutex);
                const auto next = m_events.begin();
                if (next == m_events.end() || next->first > target) break;
                m_now = std::max<std::int64_t>(m_now, next->first);
                what = std::move(next->second);
                m_events.erase(next);
            }
            what();
            if (wakeOnEvent) return;
        }
        m_now = target;
    }

private:
    std::atomic<std::int64_t> m_now{0};
    std::mutex m_mutex;
    std::multimap<std::int64_t, std::function<void()>> m_events;
};

class SignPort : public MemoryPort {
public:
    SignPort(LinkClock& clock, FakeSign& sign) : MemoryPort(clock) {
        setResponder([&sign](std::span<const std::uint8_t> raw) { return sign.answer(raw); });
    }
};

struct ClientSide {
    std::mutex mutex;
    Bytes got;
    bool closed = false;
    Bytes received() {
        std::lock_guard lock(mutex);
        return got;
    }
};

class RelayRules : public ::testing::Test {
protected:
    void SetUp() override {
        SignEntry entry;
        entry.name = "linijka";
        entry.port = sign.port;
        entry.address = kSign;
        worker = std::make_unique<SignWorker>(entry, [this] {
            return std::make_unique<ComProtocol>(std::make_unique<SignPort>(clock, sign), clock);
        });
        ASSERT_TRUE(WaitFor([&] { return worker->status().online && !worker->status().busy; }));
        relay = Relay::Create(*worker, clock, [this](const std::string& line) {
            std::lock_guard lock(logMutex);
            logs.push_back(line);
        });
    }
    void TearDown() override {
        relay->stop();
        worker->stop();
    }

    Relay::ClientId client(const std::string& peer, std::shared_ptr<ClientSide> side) {
        RelayClientLink link;
        link.send = [side](std::span<const std::uint8_t> bytes) {
            std::lock_guard lock(side->mutex);
            side->got.insert(side->got.end(), bytes.begin(), bytes.end());
        };
        link.close = [side] {
            std::lock_guard lock(side->mutex);
            side->closed = true;
        };
        return relay->connect(peer, std::move(link));
    }
    void send(Relay::ClientId id, const Bytes& bytes) { relay->received(id, bytes); }

    /// Holds the line with a service job until the returned promise is kept.
    std::shared_ptr<std::promise<void>> holdLine() {
        auto release = std::make_shared<std::promise<void>>();
        std::shared_future<void> released = release->get_future().share();
        worker->submit(Job("hold", [released](JobContext&) {
            released.wait();
            return ProtocolResult::Ok;
        }));
        EXPECT_TRUE(WaitFor([&] { return worker->status().busy; }));
        return release;
    }
    /// A service job that shows `slot` and notes when it ran.
    void showJob(int slot) {
        worker->submit(Job("show", [this, slot](JobContext& c) {
            std::lock_guard lock(logMutex);
            showRanAt.push_back(clock.nowMs());
            return c.protocol.ShowMessage(c.address, slot);
        }));
    }
    bool settled() {
        return WaitFor([&] {
            const SignStatus s = worker->status();
            return !s.busy && s.queue == 0;
        });
    }
    /// Commands that reached the sign after its start-up question.
    std::vector<std::uint8_t> commands() {
        std::vector<std::uint8_t> out;
        for (const testing::Sent& s : sign.frames())
            if (s.command != kCommandQueryInfo) out.push_back(s.command);
        return out;
    }

    ScriptClock clock;
    FakeSign sign{"tcp:linijka:4001", kSign};
    std::unique_ptr<SignWorker> worker;
    std::shared_ptr<Relay> relay;
    std::mutex logMutex;
    std::vector<std::string> logs;
    std::vector<std::int64_t> showRanAt;
};

constexpr std::uint8_t kShow3 = kCommandShowSlot1 + 2;
constexpr std::uint8_t kShow5 = kCommandShowSlot1 + 4;

TEST(FrameSplitter, PassesWholeFramesAndDropsTheRest) {
    const Bytes a = Request(kCommandShowSlot1);
    const Bytes b = Request(kCommandText, Bytes{0xF0, 0xFF, 0x41}); // stuffed bytes inside
    const Bytes identify{0xFF, 0x00, 0x00, 0xF0, 0x0F, 0x55, 0xAA};
    Bytes other(kFrameCapacity); // to another sign: passed on all the same
    FrameBuilder toOther(other);
    toOther.frame(kHostAddress, 7, kCommandShowSlot9, {});
    other.resize(toOther.size());
    Bytes broken = Request(kCommandText, Bytes{1, 2, 3});
    broken.back() ^= 0x01;
    Bytes brokenHeader = Request(kCommandText, Bytes{1, 2, 3});
    brokenHeader[8] ^= 0x01;

    struct Case {
        const char* what;
        std::vector<Bytes> chunks;
        std::vector<Bytes> frames;
    };
    Bytes junk{0x00, 0x13, 0x80};
    Bytes ab = a;
    ab.insert(ab.end(), b.begin(), b.end());
    const std::vector<Case> cases{
        {"one frame", {a}, {a}},
        {"two frames in one read", {ab}, {a, b}},
        {"a frame byte by byte", [&] {
             std::vector<Bytes> v;
             for (auto x : b) v.push_back({x});
             return v;
         }(), {b}},
        {"junk before a frame", {junk, a}, {a}},
        {"the identify frame", {identify}, {identify}},
        {"another sign's frame", {other}, {other}},
        {"a payload checksum off", {broken, a}, {a}},
        {"a header checksum off", {brokenHeader, b}, {b}},
        {"a frame cut by the next start", {Bytes(a.begin(), a.begin() + 4), b}, {b}},
    };
    for (const Case& c : cases) {
        FrameSplitter splitter;
        std::vector<Bytes> got;
        for (const Bytes& chunk : c.chunks)
            splitter.feed(chunk, [&](std::span<const std::uint8_t> f) { got.emplace_back(f.begin(), f.end()); });
        EXPECT_EQ(got, c.frames) << c.what;
        EXPECT_FALSE(splitter.midFrame()) << c.what;
    }
    FrameSplitter half;
    half.feed(Bytes(a.begin(), a.begin() + 5), [](auto) { FAIL() << "half a frame passed"; });
    EXPECT_TRUE(half.midFrame());
}

TEST(FrameSplitter, DropsAFrameLongerThanAnyProgramSends) {
    Bytes payload(kFrameCapacity - 100, 0xFF); // every byte stuffed: twice the capacity
    Bytes huge(2 * kFrameCapacity);
    FrameBuilder builder(huge);
    builder.frame(kHostAddress, kSign, kCommandText, payload);
    huge.resize(builder.size());
    FrameSplitter splitter;
    int frames = 0;
    splitter.feed(huge, [&](auto) { ++frames; });
    splitter.feed(Request(kCommandShowSlot1), [&](auto) { ++frames; });
    EXPECT_EQ(frames, 1);
}

TEST_F(RelayRules, ClientFramesTakeTheirTurnBetweenServiceJobs) {
    auto side = std::make_shared<ClientSide>();
    const auto id = client("127.0.0.1:50001", side);
    auto release = holdLine();
    showJob(3);
    send(id, Request(kCommandText, Bytes{1, 2}));
    showJob(5);
    release->set_value();
    ASSERT_TRUE(settled());
    EXPECT_EQ(commands(), (std::vector<std::uint8_t>{kShow3, kCommandText, kShow5}));
    // The client's answer is the sign's acknowledgement, as on a line of its own.
    EXPECT_EQ(side->received(), pixbar::testing::Reply(kSign, 0, kStatusAcknowledged));
}

TEST_F(RelayRules, ARepeatedWaitingFrameReachesTheSignOnce) {
    auto side = std::make_shared<ClientSide>();
    const auto id = client("127.0.0.1:50001", side);
    auto release = holdLine();
    const Bytes frame = Request(kCommandMessageBlock, Bytes(kBlockPayloadSize, 0x20));
    for (int attempt = 0; attempt < 4; ++attempt) {
        send(id, frame);
        clock.advance(720);
    }
    release->set_value();
    ASSERT_TRUE(settled());
    EXPECT_EQ(commands(), (std::vector<std::uint8_t>{kCommandMessageBlock}));
    EXPECT_EQ(worker->status().queue, 0);
}

TEST_F(RelayRules, TheLatestWaitingFrameIsTheOneSent) {
    auto side = std::make_shared<ClientSide>();
    const auto id = client("127.0.0.1:50001", side);
    auto release = holdLine();
    send(id, Request(kCommandShowSlot1));
    send(id, Request(kCommandShowSlot9));
    release->set_value();
    ASSERT_TRUE(settled());
    EXPECT_EQ(commands(), (std::vector<std::uint8_t>{kCommandShowSlot9}));
}

TEST_F(RelayRules, AFrameOlderThanTheClientsRetriesIsDropped) {
    auto side = std::make_shared<ClientSide>();
    const auto id = client("127.0.0.1:50001", side);
    const Bytes frame = Request(kCommandShowSlot1);
    for (const int waited : {kRelayWaitLimitMs - 50, kRelayWaitLimitMs + 50}) {
        auto release = holdLine();
        send(id, frame);
        clock.advance(waited / 2);
        send(id, frame); // a retry does not make it younger
        clock.advance(waited - waited / 2);
        release->set_value();
        ASSERT_TRUE(settled());
        clock.advance(kRelayIdleMs); // the first turn, if any, is over
    }
    // Only the frame that had not waited too long reached the sign and was answered.
    EXPECT_EQ(commands(), (std::vector<std::uint8_t>{kCommandShowSlot1}));
    EXPECT_EQ(side->received(), pixbar::testing::Reply(kSign, 0, kStatusAcknowledged));
}

TEST_F(RelayRules, TheTurnLastsUntilTheClientIsQuietFor500Ms) {
    auto side = std::make_shared<ClientSide>();
    const auto id = client("127.0.0.1:50001", side);
    std::int64_t secondFrameAt = 0;
    auto release = holdLine();
    const std::int64_t start = clock.nowMs();
    send(id, Request(kCommandShowSlot1));
    // A service job arrives during the turn; the client's next frames come 400 ms apart.
    clock.at(start + 100, [&] { showJob(3); });
    clock.at(start + 400, [&] { send(id, Request(kCommandShowSlot1 + 1)); });
    clock.at(start + 800, [&] {
        secondFrameAt = clock.nowMs();
        send(id, Request(kCommandShowSlot1 + 3));
    });
    release->set_value();
    ASSERT_TRUE(settled());
    EXPECT_EQ(commands(), (std::vector<std::uint8_t>{kCommandShowSlot1, kCommandShowSlot1 + 1,
                                                      kCommandShowSlot1 + 3, kShow3}));
    ASSERT_EQ(showRanAt.size(), 1u);
    EXPECT_GE(showRanAt[0], secondFrameAt + kRelayIdleMs);
    EXPECT_LE(showRanAt[0], secondFrameAt + kRelayIdleMs + kRelayQuietSliceMs);
}

TEST_F(RelayRules, AClientHoldingTheLineAMinuteIsCutOff) {
    auto side = std::make_shared<ClientSide>();
    const auto id = client("127.0.0.1:50001", side);
    auto release = holdLine();
    const std::int64_t start = clock.nowMs();
    send(id, Request(kCommandShowSlot1));
    for (std::int64_t t = 400; t < kRelayHoldMs + 10'000; t += 400)
        clock.at(start + t, [this, id] { send(id, Request(kCommandShowSlot1)); });
    clock.at(start + 1000, [&] { showJob(3); });
    release->set_value();
    ASSERT_TRUE(WaitFor([&] { return !showRanAt.empty(); }));
    EXPECT_GE(showRanAt[0], start + kRelayHoldMs);
    EXPECT_LT(showRanAt[0], start + kRelayHoldMs + 400);
    EXPECT_TRUE(side->closed);
    std::lock_guard lock(logMutex);
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_NE(logs[0].find("127.0.0.1:50001"), std::string::npos);
}

TEST_F(RelayRules, AClientGoneMidFrameFreesTheLineAtOnce) {
    auto side = std::make_shared<ClientSide>();
    const auto id = client("127.0.0.1:50001", side);
    auto release = holdLine();
    const std::int64_t start = clock.nowMs();
    send(id, Request(kCommandShowSlot1));
    const Bytes half = Request(kCommandText, Bytes(40, 0x41));
    clock.at(start + 50, [&] { showJob(3); });
    clock.at(start + 100, [&] {
        send(id, Bytes(half.begin(), half.begin() + half.size() / 2));
        relay->disconnected(id);
    });
    release->set_value();
    ASSERT_TRUE(settled());
    EXPECT_EQ(commands(), (std::vector<std::uint8_t>{kCommandShowSlot1, kShow3}));
    ASSERT_EQ(showRanAt.size(), 1u);
    EXPECT_LE(showRanAt[0], start + 100 + kRelaySliceMs + 1);
}

TEST_F(RelayRules, TheSignAnswersOnlyTheOwner) {
    auto first = std::make_shared<ClientSide>();
    auto second = std::make_shared<ClientSide>();
    const auto a = client("127.0.0.1:50001", first);
    const auto b = client("[::1]:50002", second);
    auto release = holdLine();
    const std::int64_t start = clock.nowMs();
    send(a, Request(kCommandShowSlot1));
    std::optional<std::string> ownerSeen;
    clock.at(start + 50, [&] {
        send(b, Request(kCommandShowSlot9));
        ownerSeen = worker->status().relayClient;
    });
    clock.at(start + 100, [&] {
        // The second client is still waiting: nothing of the first one's answers reached it.
        EXPECT_TRUE(second->received().empty());
    });
    release->set_value();
    ASSERT_TRUE(settled());
    EXPECT_EQ(ownerSeen, std::optional<std::string>("127.0.0.1:50001"));
    EXPECT_EQ(commands(), (std::vector<std::uint8_t>{kCommandShowSlot1, kCommandShowSlot9}));
    const Bytes ack = pixbar::testing::Reply(kSign, 0, kStatusAcknowledged);
    EXPECT_EQ(first->received(), ack);
    EXPECT_EQ(second->received(), ack);
}

TEST_F(RelayRules, TheStatusNamesTheOwnerWhileItHoldsTheLine) {
    std::vector<std::optional<std::string>> seen;
    std::mutex seenMutex;
    worker->setObserver([&] {
        const auto owner = worker->status().relayClient;
        std::lock_guard lock(seenMutex);
        if (seen.empty() || seen.back() != owner) seen.push_back(owner);
    });
    auto side = std::make_shared<ClientSide>();
    const auto id = client("192.168.1.20:41000", side);
    send(id, Request(kCommandShowSlot1));
    ASSERT_TRUE(settled());
    worker->setObserver({});
    std::lock_guard lock(seenMutex);
    EXPECT_EQ(seen, (std::vector<std::optional<std::string>>{std::nullopt, "192.168.1.20:41000",
                                                              std::nullopt}));
    EXPECT_FALSE(worker->status().relayClient);
}

} // namespace
} // namespace pixbar::service
