#include "linktesting.h"

#include <gtest/gtest.h>

#include <random>

namespace pixbar {
namespace {

using testing::Bytes;
using testing::Reply;
using testing::Rig;

struct ParseCase {
    const char* name;
    Bytes raw;
    bool success;
    bool error;
    std::uint16_t source;
};

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(ReplyParser, CasesOfTheReplyFormat) {
    const Bytes valid = {0xFF, 0x12, 0x34, 0x00, 0x00, 0x80, 0x00, 0x00, 0x45, 0x00};
    Bytes wrongDestination = {0xFF, 0x12, 0x34, 0x00, 0x01, 0x80, 0x00, 0x00, 0x44, 0x00};
    Bytes badHeader = valid;
    badHeader[8] = 0x46;
    Bytes anyLast = valid;
    anyLast[9] = 0x99;
    Bytes badPayload = Reply(0x1234, 0, 0x80, {1, 2, 3});
    badPayload.back() ^= 0x10;
    // Too long: 1025 payload bytes announced, with a correct header checksum.
    Bytes tooLong = Reply(0x1234, 0, 0x80, Bytes(1025, 0));
    const std::vector<ParseCase> cases = {
        {"acknowledged, no payload", valid, true, false, 0x1234},
        {"wrong destination", wrongDestination, false, true, 0x1234},
        {"destination high byte", Reply(1, 0x0100, 0x80), false, true, 1},
        {"bad header checksum", badHeader, false, true, 0x1234},
        {"N = 0 takes any last byte", anyLast, true, false, 0x1234},
        {"bad payload checksum", badPayload, false, true, 0x1234},
        {"payload beyond the reply area", tooLong, false, true, 0x1234},
        {"raw 0xFF restarts", Concat({0xFF, 0x55, 0x66, 0x00}, valid), true, false, 0x1234},
        {"noise before the start", Concat({0x00, 0x12, 0xEE, 0x80}, valid), true, false, 0x1234},
        {"status 0x81 is still a reply", Reply(7, 0, 0x81), true, false, 7},
        {"truncated", Bytes(valid.begin(), valid.end() - 1), false, false, 0x1234},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        for (std::uint8_t b : c.raw) {
            rig.protocol->FeedByte(b);
            if (rig.protocol->success() || rig.protocol->error()) break;
        }
        EXPECT_EQ(rig.protocol->success(), c.success);
        EXPECT_EQ(rig.protocol->error(), c.error);
        EXPECT_EQ(rig.protocol->replySource(), c.source);
    }
}

TEST(ReplyParser, EscapedFFDoesNotRestart) {
    Rig rig;
    for (std::uint8_t b : {0xFF, 0x12, 0xF0, 0xFF}) rig.protocol->FeedByte(b);
    // F0 FF is the logical byte 0xEF: the source is complete, the frame goes on.
    EXPECT_EQ(rig.protocol->parserState(), 3);
    EXPECT_EQ(rig.protocol->replySource(), 0x12EF);
}

TEST(ReplyParser, EscapeTurnsF000BackIntoF0) {
    Rig rig;
    const Bytes reply = Reply(1, 0, 0x80, {0xF0, 0xFF, 0xF5});
    const Bytes stuffed = {0xF0, 0x00};
    EXPECT_NE(std::search(reply.begin(), reply.end(), stuffed.begin(), stuffed.end()), reply.end());
    for (std::uint8_t b : reply) rig.protocol->FeedByte(b);
    EXPECT_TRUE(rig.protocol->success());
    EXPECT_EQ(Bytes(rig.protocol->replyPayload().begin(), rig.protocol->replyPayload().end()),
              (Bytes{0xF0, 0xFF, 0xF5}));
}

TEST(ReplyParser, TooLongReplyWritesNothingPastTheArea) {
    std::array<std::uint8_t, 16> area{};
    area.fill(0xAB);
    FrameDecoder decoder(std::span<std::uint8_t>(area).first(8));
    FrameDecoder::Event last = FrameDecoder::Event::None;
    for (std::uint8_t b : Reply(1, 0, 0x80, Bytes(9, 0x11))) {
        last = decoder.feed(b);
        if (last != FrameDecoder::Event::None) break;
    }
    EXPECT_EQ(last, FrameDecoder::Event::Rejected);
    EXPECT_EQ(decoder.payloadSize(), 0u);
    EXPECT_TRUE(std::all_of(area.begin(), area.end(), [](auto b) { return b == 0xAB; }));
}

/// An independent check of one raw frame: unstuffed, its length, destination and both
/// checksums agree (the checksum byte of an empty payload is not compared).
bool IsConsistentFrame(const Bytes& raw) {
    Bytes logical;
    for (std::size_t i = 1; i < raw.size(); ++i) {
        if (raw[i] == 0xF0 && i + 1 < raw.size())
            logical.push_back(std::uint8_t(raw[++i] - 0x10));
        else
            logical.push_back(raw[i]);
    }
    if (logical.size() < 9) return false;
    std::uint8_t header = 0xE3;
    for (int i = 0; i < 7; ++i) header ^= logical[std::size_t(i)];
    const std::size_t n = std::size_t(logical[5]) << 8 | logical[6];
    if (header != logical[7] || logical[2] != 0 || logical[3] != 0) return false;
    if (logical.size() != 8 + n + 1) return false;
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) sum ^= logical[8 + i];
    return n == 0 || sum == logical.back();
}

TEST(ReplyParser, RandomAndMutatedRepliesNeverGiveAFalseSuccess) {
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> byte(0, 255);
    std::array<std::uint8_t, kReplyCapacity> area{};
    int successes = 0;
    for (int round = 0; round < 6000; ++round) {
        Bytes stream;
        const int kind = round % 3;
        if (kind == 0) {
            stream.resize(std::size_t(byte(random)) + 1);
            for (auto& b : stream) b = std::uint8_t(byte(random));
        } else {
            Bytes payload(std::size_t(byte(random) % 12));
            for (auto& b : payload) b = std::uint8_t(byte(random));
            stream = Reply(std::uint16_t(byte(random) << 8 | byte(random)), 0,
                           std::uint8_t(byte(random)), payload);
            const int mutations = kind == 1 ? 1 : 1 + byte(random) % 4;
            for (int m = 0; m < mutations; ++m) {
                const std::size_t at = std::size_t(byte(random)) % stream.size();
                switch (byte(random) % 3) {
                case 0:
                    stream[at] = std::uint8_t(byte(random));
                    break;
                case 1:
                    stream.erase(stream.begin() + std::ptrdiff_t(at));
                    break;
                default:
                    stream.insert(stream.begin() + std::ptrdiff_t(at), std::uint8_t(byte(random)));
                }
                if (stream.empty()) stream.push_back(0xFF);
            }
        }
        FrameDecoder decoder(area);
        std::size_t frameStart = 0;
        bool escaped = false;
        for (std::size_t i = 0; i < stream.size(); ++i) {
            if (stream[i] == 0xFF && !escaped) frameStart = i;
            escaped = !escaped && stream[i] == 0xF0;
            if (decoder.feed(stream[i]) == FrameDecoder::Event::Complete) {
                ++successes;
                const Bytes raw(stream.begin() + std::ptrdiff_t(frameStart),
                                stream.begin() + std::ptrdiff_t(i) + 1);
                ASSERT_TRUE(IsConsistentFrame(raw)) << "round " << round;
                EXPECT_EQ(decoder.destination(), 0);
            }
        }
        // The same stream through the protocol's reply path: never more than the area.
        Rig rig;
        rig.port->setResponder([&, first = true](auto) mutable {
            const bool answer = std::exchange(first, false);
            return answer ? stream : Bytes{};
        });
        rig.protocol->ShowMessage(1, 1);
        EXPECT_LE(rig.protocol->replyPayload().size(), kReplyCapacity);
    }
    // Mutations that leave a frame intact (or recreate one) still parse.
    EXPECT_GT(successes, 0);
}

} // namespace
} // namespace pixbar
