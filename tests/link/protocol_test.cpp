#include "linktesting.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <utility>
#include <vector>

namespace pixbar {
namespace {

using testing::Bytes;
using testing::Decode;
using testing::Reply;
using testing::Rig;

// ---- Frames on the wire -------------------------------------------------------------

TEST(WireFrame, ExamplesByteForByte) {
    struct Case {
        const char* name;
        std::function<ProtocolResult(ComProtocol&)> send;
        Bytes expected;
    };
    const std::array<std::uint8_t, kSignConfigSize> config{1, 90, 2, 12, 0, 0, 0, 0};
    const std::vector<Case> cases = {
        {"show slot 1",
         [](ComProtocol& p) { return p.ShowMessage(1, 1); },
         {0xFF, 0x00, 0x00, 0x00, 0x01, 0x16, 0x00, 0x00, 0xF0, 0x04, 0x00}},
        {"query info",
         [](ComProtocol& p) {
             std::uint8_t w = 0, h = 0;
             std::array<char, kVersionSize> v{};
             return p.QueryInfo(1, w, h, v);
         },
         {0xFF, 0x00, 0x00, 0x00, 0x01, 0x21, 0x00, 0x00, 0xC3, 0x00}},
        {"configuration to 0x1234",
         [&](ComProtocol& p) { return p.SendConfiguration(0x1234, config); },
         {0xFF, 0x00, 0x00, 0x12, 0x34, 0x13, 0x00, 0x08, 0xDE, 0x01, 0x5A, 0x02, 0x0C, 0x00, 0x00,
          0x00, 0x00, 0x55}},
        {"identify",
         [](ComProtocol& p) {
             std::uint16_t serial = 0;
             return p.Identify(serial);
         },
         {0xFF, 0x00, 0x00, 0xF0, 0x0F, 0x55, 0xAA}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.port->setResponder([](auto) { return Reply(0x1234, 0, 0x80, Bytes(7, 1)); });
        EXPECT_EQ(c.send(*rig.protocol), ProtocolResult::Ok);
        ASSERT_EQ(rig.port->writes().size(), 1u);
        EXPECT_EQ(rig.port->writes()[0], c.expected);
    }
}

TEST(WireFrame, StuffingOfEveryHighByte) {
    struct Case {
        std::uint8_t logical;
        Bytes raw;
    };
    const std::vector<Case> cases = {
        {0x00, {0x00}},       {0xEF, {0xEF}},       {0xF0, {0xF0, 0x00}},
        {0xF5, {0xF0, 0x05}}, {0xFE, {0xF0, 0x0E}}, {0xFF, {0xF0, 0x0F}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.logical));
        std::array<std::uint8_t, 4> buffer{};
        FrameBuilder builder(buffer);
        builder.put(c.logical);
        EXPECT_EQ(Bytes(builder.bytes().begin(), builder.bytes().end()), c.raw);
        EXPECT_EQ(builder.checksum(), c.logical);
        EXPECT_EQ(StuffedSize(c.logical), c.raw.size());
    }
}

TEST(WireFrame, StuffedPayloadDecodesBack) {
    Bytes payload(256);
    std::iota(payload.begin(), payload.end(), 0);
    const Bytes raw = Reply(0xF0FF, 0, 0x80, payload);
    // Only the start byte is a raw 0xFF.
    EXPECT_EQ(std::count(raw.begin(), raw.end(), 0xFF), 1);
    EXPECT_EQ(raw.size(), FrameSize(0xF0FF, 0, 0x80, payload));
    std::array<std::uint8_t, kReplyCapacity> area{};
    FrameDecoder decoder(area);
    FrameDecoder::Event last = FrameDecoder::Event::None;
    for (std::uint8_t b : raw) last = decoder.feed(b);
    EXPECT_EQ(last, FrameDecoder::Event::Complete);
    EXPECT_EQ(decoder.source(), 0xF0FF);
    EXPECT_EQ(Bytes(decoder.payload().begin(), decoder.payload().end()), payload);
}

TEST(WireFrame, BuilderRefusesToOverflow) {
    std::array<std::uint8_t, 8> small{};
    FrameBuilder builder(small);
    builder.frame(0, 1, 0x22, Bytes(10, 0));
    EXPECT_TRUE(builder.overflowed());
    EXPECT_EQ(builder.size(), small.size());
}

// ---- Block transfers -----------------------------------------------------------------

TEST(BlockTransfer, HeadersAndDataOfEveryBlockKind) {
    struct Case {
        const char* name;
        std::uint8_t command;
        int blocks;
        std::uint8_t byte0;
        std::uint8_t unit;
        std::size_t imageSize;
    };
    const std::vector<Case> cases = {
        {"message 3", kCommandMessageBlock, 8, 2, 32, 1024},
        {"user font", kCommandUserFontBlock, 16, 0, 8, 2048},
        {"symbol table", kCommandSymbolBlock, 32, 0, 8, 4096},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.acknowledgeAll();
        int pumped = 0;
        rig.protocol->setEventPump([&] { ++pumped; });
        Bytes image(c.imageSize);
        for (std::size_t i = 0; i < image.size(); ++i) image[i] = std::uint8_t(i * 7 + i / 256);
        ProtocolResult r = ProtocolResult::NoReply;
        if (c.command == kCommandMessageBlock)
            r = rig.protocol->SendMessageBlocks(1, 3, image);
        else if (c.command == kCommandUserFontBlock)
            r = rig.protocol->SendUserFont(1, image);
        else
            r = rig.protocol->SendSymbolTable(1, image);
        EXPECT_EQ(r, ProtocolResult::Ok);
        ASSERT_EQ(rig.port->writes().size(), std::size_t(c.blocks));
        EXPECT_EQ(pumped, c.blocks);
        for (int i = 0; i < c.blocks; ++i) {
            const auto sent = Decode(rig.port->writes()[i]);
            EXPECT_EQ(sent.command, c.command);
            ASSERT_EQ(sent.payload.size(), kBlockPayloadSize);
            const std::uint8_t flag = i == 0 ? 1 : i == c.blocks - 1 ? 2 : 0;
            EXPECT_EQ(Bytes(sent.payload.begin(), sent.payload.begin() + 4),
                      (Bytes{c.byte0, std::uint8_t(i * c.unit), c.unit, flag}))
                << "block " << i;
            EXPECT_TRUE(
                std::equal(sent.payload.begin() + 4, sent.payload.end(), image.begin() + i * 128))
                << "block " << i;
        }
    }
}

TEST(BlockTransfer, ImageShorterThanTheTransferIsPaddedWithZeros) {
    Rig rig;
    rig.acknowledgeAll();
    const Bytes image(300, 0x41);
    EXPECT_EQ(rig.protocol->SendUserFont(1, image), ProtocolResult::Ok);
    Bytes received;
    for (const auto& w : rig.port->writes()) {
        const auto sent = Decode(w);
        received.insert(received.end(), sent.payload.begin() + 4, sent.payload.end());
    }
    ASSERT_EQ(received.size(), kUserFontSendBytes);
    EXPECT_TRUE(
        std::all_of(received.begin(), received.begin() + 300, [](auto b) { return b == 0x41; }));
    EXPECT_TRUE(std::all_of(received.begin() + 300, received.end(), [](auto b) { return b == 0; }));
}

TEST(BlockTransfer, StopsAtTheFirstBlockThatFails) {
    Rig rig;
    int frames = 0;
    rig.port->setResponder([&](auto) { return Reply(1, 0, ++frames == 4 ? 0x81 : 0x80); });
    EXPECT_EQ(rig.protocol->SendMessageBlocks(1, 1, Bytes(1024, 5)), ProtocolResult::Rejected);
    ASSERT_EQ(rig.port->writes().size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Decode(rig.port->writes()[i]).payload[1], i * 32);
}

TEST(BlockTransfer, SilentBlockEndsTheTransferWithNoReply) {
    Rig rig;
    int frames = 0;
    rig.port->setResponder([&](auto) { return ++frames >= 3 ? Bytes{} : Reply(1, 0, 0x80); });
    EXPECT_EQ(rig.protocol->SendSymbolTable(1, Bytes(4096, 1)), ProtocolResult::NoReply);
    // Two acknowledged blocks, then eight attempts of the third.
    EXPECT_EQ(rig.port->writes().size(), 2u + kTransactAttempts);
}

// ---- Slots ---------------------------------------------------------------------------

TEST(Slots, CommandBytesOfEverySlot) {
    for (int slot = 1; slot <= 9; ++slot) {
        SCOPED_TRACE(slot);
        Rig rig;
        rig.acknowledgeAll();
        EXPECT_EQ(rig.protocol->StoreMessage(1, slot, Bytes(1024, 0x33)), ProtocolResult::Ok);
        EXPECT_EQ(rig.protocol->ShowMessage(1, slot), ProtocolResult::Ok);
        const Bytes text = {'A', 'b'};
        EXPECT_EQ(rig.protocol->SendText(1, slot, text), ProtocolResult::Ok);
        ASSERT_EQ(rig.port->writes().size(), 3u);
        const auto store = Decode(rig.port->writes()[0]);
        EXPECT_EQ(store.command, slot == 9 ? 0x15 : slot);
        EXPECT_EQ(store.payload, Bytes(1024, 0x33));
        EXPECT_EQ(Decode(rig.port->writes()[1]).command, slot == 9 ? 0x1E : 0x15 + slot);
        const auto sent = Decode(rig.port->writes()[2]);
        EXPECT_EQ(sent.command, 0x26);
        EXPECT_EQ(sent.payload, (Bytes{std::uint8_t(slot - 1), 0, 0, 0, 2, 2, 'A', 'b', 0}));
    }
}

TEST(Slots, OutOfRangeIsBadSlotAndWritesNothing) {
    Rig rig;
    rig.acknowledgeAll();
    for (int slot : {-1, 0, 10, 255}) {
        EXPECT_EQ(rig.protocol->ShowMessage(1, slot), ProtocolResult::BadSlot);
        EXPECT_EQ(rig.protocol->StoreMessage(1, slot, Bytes(1024)), ProtocolResult::BadSlot);
        EXPECT_EQ(rig.protocol->SendText(1, slot, Bytes{'x'}), ProtocolResult::BadSlot);
    }
    for (int number : {0, 9}) {
        EXPECT_EQ(rig.protocol->SendMessageBlocks(1, number, Bytes(1024)), ProtocolResult::BadSlot);
    }
    EXPECT_TRUE(rig.port->writes().empty());
    EXPECT_EQ(static_cast<int>(ProtocolResult::BadSlot), 100);
}

TEST(Slots, TextThatWouldNotFitTheFrameIsRefusedUnsent) {
    Rig rig;
    rig.acknowledgeAll();
    // 0xFF is stuffed into two bytes: 2600 of them cannot fit 5120 bytes.
    EXPECT_EQ(rig.protocol->SendText(1, 1, Bytes(2600, 0xFF)), ProtocolResult::TooLong);
    EXPECT_EQ(rig.protocol->SendText(1, 1, Bytes(6000, 'a')), ProtocolResult::TooLong);
    EXPECT_TRUE(rig.port->writes().empty());
    // The largest plain text whose whole frame still fits 5120 bytes.
    std::size_t largest = 0;
    for (std::size_t l = 4000; l < kFrameCapacity; ++l) {
        Bytes payload = {0, 0, 0, std::uint8_t(l >> 8), std::uint8_t(l), 2};
        payload.resize(payload.size() + l, 'a');
        payload.push_back(0);
        if (FrameSize(0, 1, kCommandText, payload) <= kFrameCapacity) largest = l;
    }
    ASSERT_GT(largest, 5000u);
    EXPECT_EQ(rig.protocol->SendText(1, 1, Bytes(largest, 'a')), ProtocolResult::Ok);
    ASSERT_EQ(rig.port->writes().size(), 1u);
    EXPECT_GE(rig.port->writes()[0].size(), kFrameCapacity - 1);
    EXPECT_LE(rig.port->writes()[0].size(), kFrameCapacity);
    EXPECT_EQ(rig.protocol->SendText(1, 1, Bytes(largest + 1, 'a')), ProtocolResult::TooLong);
    EXPECT_EQ(rig.port->writes().size(), 1u);
}

// ---- Transactions, retries and timing --------------------------------------------------

TEST(Transaction, SilentSignCostsEightAttemptsAndSevenPauses) {
    Rig rig;
    EXPECT_EQ(rig.protocol->ShowMessage(1, 1), ProtocolResult::NoReply);
    EXPECT_EQ(rig.port->writes().size(), std::size_t(kTransactAttempts));
    const auto& sleeps = rig.clock.sleeps();
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), kRetryPauseMs), kTransactAttempts - 1);
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), kTransactPollMs),
              kTransactAttempts * kTransactPolls);
    EXPECT_EQ(rig.clock.elapsedMs(), 8 * 220 + 7 * 500);
}

TEST(Transaction, TheWaitPumpRunsThroughEveryWaitAndPause) {
    // Each operation against a silent sign: no stretch of its waits goes without the pump,
    // and the timing stays what it is without one.
    const std::vector<std::pair<const char*, std::function<void(ComProtocol&)>>> operations = {
        {"transact", [](ComProtocol& p) { p.ShowMessage(1, 1); }},
        {"text", [](ComProtocol& p) { p.SendText(1, 1, Bytes{'a'}); }},
        {"identify",
         [](ComProtocol& p) {
             std::uint16_t serial = 0;
             p.Identify(serial);
         }},
    };
    for (const auto& [name, run] : operations) {
        SCOPED_TRACE(name);
        Rig plain;
        run(*plain.protocol);
        Rig rig;
        std::vector<std::int64_t> pumps{0};
        rig.protocol->setWaitPump([&] { pumps.push_back(rig.clock.elapsedMs()); });
        run(*rig.protocol);
        pumps.push_back(rig.clock.elapsedMs());
        EXPECT_EQ(rig.clock.elapsedMs(), plain.clock.elapsedMs());
        for (std::size_t i = 1; i < pumps.size(); ++i)
            EXPECT_LE(pumps[i] - pumps[i - 1], kWaitPumpMs) << "after " << pumps[i - 1];
    }
}

TEST(Transaction, SilentSignOnTextAndIdentifyIsOneAttempt) {
    Rig text;
    EXPECT_EQ(text.protocol->SendText(1, 1, Bytes{'a'}), ProtocolResult::NoReply);
    EXPECT_EQ(text.port->writes().size(), 1u);
    EXPECT_EQ(text.clock.elapsedMs(), kTextPolls * kTextPollMs);

    Rig identify;
    std::uint16_t serial = 77;
    EXPECT_EQ(identify.protocol->Identify(serial), ProtocolResult::NoReply);
    EXPECT_EQ(serial, 77);
    EXPECT_EQ(identify.port->writes().size(), 1u);
    EXPECT_EQ(identify.clock.elapsedMs(), kIdentifyPolls * kIdentifyPollMs);
}

TEST(Transaction, RejectedStatusEndsAtOnce) {
    Rig rig;
    rig.port->setResponder([](auto) { return Reply(1, 0, 0x81); });
    EXPECT_EQ(rig.protocol->ShowMessage(1, 1), ProtocolResult::Rejected);
    EXPECT_EQ(rig.port->writes().size(), 1u);
    EXPECT_EQ(rig.protocol->replyStatus(), 0x81);
}

TEST(Transaction, CorruptReplyLeadsToAnotherAttempt) {
    Rig rig;
    int frames = 0;
    rig.port->setResponder([&](auto) {
        Bytes r = Reply(1, 0, 0x80, {1, 2, 3});
        if (++frames == 1) r.back() ^= 0x01; // bad payload checksum
        return r;
    });
    EXPECT_EQ(rig.protocol->ShowMessage(1, 1), ProtocolResult::Ok);
    EXPECT_EQ(rig.port->writes().size(), 2u);
    EXPECT_EQ(std::count(rig.clock.sleeps().begin(), rig.clock.sleeps().end(), kRetryPauseMs), 1);
}

TEST(Transaction, ReplyInOneByteReadsIsTakenWhole) {
    Rig rig;
    rig.port->setReadChunk(1);
    rig.port->setResponder([](auto) {
        return Reply(0x0102, 0, 0x80, {0xF0, 0xFF, 9, 8, 'A', 'B', 'C'});
    });
    std::uint8_t w = 0, h = 0;
    std::array<char, kVersionSize> v{};
    EXPECT_EQ(rig.protocol->QueryInfo(1, w, h, v), ProtocolResult::Ok);
    EXPECT_EQ(w, 0xF0);
    EXPECT_EQ(h, 0xFF);
    EXPECT_EQ(std::string(v.begin(), v.end()), std::string("\x09\x08"
                                                           "ABC"));
    EXPECT_EQ(rig.port->writes().size(), 1u);
}

TEST(Transaction, QueryInfoLeavesOutputsOnFailure) {
    Rig rig;
    rig.port->setResponder([](auto) { return Reply(1, 0, 0x81, {1, 2, 3, 4, 5, 6, 7}); });
    std::uint8_t w = 42, h = 43;
    std::array<char, kVersionSize> v{'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(rig.protocol->QueryInfo(1, w, h, v), ProtocolResult::Rejected);
    EXPECT_EQ(w, 42);
    EXPECT_EQ(h, 43);
    EXPECT_EQ(v[0], 'x');
}

TEST(Transaction, ClockPayloadCarriesSeconds) {
    Rig rig;
    rig.acknowledgeAll();
    rig.clock.setLocalTime({2026, 12, 8, 13, 45, 27});
    EXPECT_EQ(rig.protocol->SetClock(1), ProtocolResult::Ok);
    const auto sent = Decode(rig.port->writes()[0]);
    EXPECT_EQ(sent.command, 0x11);
    EXPECT_EQ(sent.payload, (Bytes{26, 12, 8, 13, 45, 27}));
    EXPECT_EQ(ClockPayload({2000, 1, 1, 0, 0, 0})[0], 0);
    EXPECT_EQ(ClockPayload({2255, 1, 1, 0, 0, 0})[0], 255);
}

TEST(Transaction, LateReplyToAnEarlierFrameIsNoAcknowledgement) {
    Rig rig;
    // An acknowledgement sits unread on the line before the frame is sent.
    rig.port->feed(Reply(1, 0, 0x80));
    EXPECT_EQ(rig.protocol->ShowMessage(1, 2), ProtocolResult::NoReply);
    EXPECT_EQ(rig.port->writes().size(), std::size_t(kTransactAttempts));
}

TEST(Transaction, IdentifyTakesTheSerialFromTheReplySource) {
    Rig rig;
    rig.port->setResponder([](auto) { return Reply(0xBEEF, 0, 0x80); });
    std::uint16_t serial = 0;
    EXPECT_EQ(rig.protocol->Identify(serial), ProtocolResult::Ok);
    EXPECT_EQ(serial, 0xBEEF);
}

TEST(Transaction, IdentifyWaitsPastARefusedFrame) {
    Rig rig;
    rig.port->setResponder([](auto) {
        Bytes both = Reply(0x0009, 0x0001, 0x80); // addressed to someone else
        const Bytes good = Reply(0x0042, 0, 0x80);
        both.insert(both.end(), good.begin(), good.end());
        return both;
    });
    std::uint16_t serial = 0;
    EXPECT_EQ(rig.protocol->Identify(serial), ProtocolResult::Ok);
    EXPECT_EQ(serial, 0x0042);
}

// After a refused frame only the rest of that read is dropped. Were every later read cut to
// its first byte, a reply would be missed, and a "reply" could be pieced together from every
// other byte of the line.
TEST(Transaction, ReadsAfterARefusedFrameAreTakenWhole) {
    const Bytes good = Reply(1, 0, 0x80, {7, 0xF0, 7});
    Bytes forOthers = Reply(1, 0x0005, 0x80); // addressed to another device: refused
    // Every other byte of the second half spells a refusal from sign 1 for the program.
    Bytes interleaved;
    for (std::uint8_t b : Reply(1, 0, 0x81)) interleaved.insert(interleaved.end(), {b, 0x00});
    for (const auto& [tail, expected] :
         {std::pair{good, ProtocolResult::Ok}, std::pair{interleaved, ProtocolResult::NoReply}}) {
        Rig rig;
        rig.port->setReadChunk(2);
        Bytes line = forOthers;
        if (line.size() % 2) line.push_back(0x00); // the refusal ends its read
        line.insert(line.end(), tail.begin(), tail.end());
        rig.port->setResponder([&](auto) { return line; });
        EXPECT_EQ(rig.protocol->TransactOnce(1, kCommandSetClock, {}), expected);
    }
}

} // namespace
} // namespace pixbar
