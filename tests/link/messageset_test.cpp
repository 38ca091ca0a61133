#include "linktesting.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace pixbar {
namespace {

using testing::Bytes;
using testing::Decode;
using testing::Reply;
using testing::Rig;

constexpr std::uint16_t kSign = 7;

/// Eight records, each filled with its own message number so a block names its record.
struct EightRecords {
    std::array<Bytes, kMessageCount> records;
    MessageSetBytes spans;
    EightRecords() {
        for (std::size_t i = 0; i < records.size(); ++i) {
            records[i].assign(kMessageBytes, std::uint8_t(0x40 + i));
            records[i][kMessageBytes - 1] = std::uint8_t(i); // the kind byte of the last block
            spans[i] = records[i];
        }
    }
};

/// The sign takes every block except those of message `refused`, which it answers with
/// `refusal` (a rejecting status) or not at all.
void AnswerAllBut(Rig& rig, int refused, std::optional<std::uint8_t> refusal) {
    rig.port->setResponder([refused, refusal](std::span<const std::uint8_t> raw) {
        const auto sent = Decode(Bytes(raw.begin(), raw.end()), kSign);
        const bool ofRefused = sent.command == kCommandMessageBlock && !sent.payload.empty() &&
                               sent.payload[0] == refused - 1;
        if (!ofRefused) return Reply(kSign, 0, kStatusAcknowledged);
        if (refusal) return Reply(kSign, 0, *refusal);
        return Bytes{};
    });
}

TEST(MessageSet, AllEightGoOutInOrderWithTheirBytes) {
    Rig rig;
    AnswerAllBut(rig, 0, std::nullopt);
    EightRecords set;
    std::vector<int> started;
    const MessageSetResult r =
        SendMessageSet(*rig.protocol, kSign, set.spans, [&](int n) { started.push_back(n); });
    EXPECT_EQ(r.result, ProtocolResult::Ok);
    EXPECT_EQ(r.failedMessage, 0);
    EXPECT_EQ(started, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    const auto& writes = rig.port->writes();
    ASSERT_EQ(writes.size(), std::size_t(kMessageCount * kMessageBlocks));
    for (std::size_t w = 0; w < writes.size(); ++w) {
        const auto sent = Decode(writes[w], kSign);
        const std::size_t message = w / kMessageBlocks, block = w % kMessageBlocks;
        ASSERT_EQ(sent.command, kCommandMessageBlock) << "frame " << w;
        ASSERT_EQ(sent.payload.size(), kBlockPayloadSize);
        EXPECT_EQ(sent.payload[0], message) << "frame " << w;
        const Bytes data(sent.payload.begin() + kBlockHeaderSize, sent.payload.end());
        const auto& record = set.records[message];
        EXPECT_EQ(data, Bytes(record.begin() + block * kBlockDataSize,
                              record.begin() + (block + 1) * kBlockDataSize))
            << "message " << message + 1 << " block " << block;
    }
}

TEST(MessageSet, StopsAtTheRefusedMessageAndSendsNothingAfterIt) {
    struct Case {
        int refused;
        std::optional<std::uint8_t> status; ///< none: the sign stays silent
        ProtocolResult expected;
    };
    const std::vector<Case> cases = {
        {1, 0x81, ProtocolResult::Rejected},       {1, std::nullopt, ProtocolResult::NoReply},
        {4, 0x81, ProtocolResult::Rejected},       {5, std::nullopt, ProtocolResult::NoReply},
        {8, 0x82, ProtocolResult::Rejected},       {8, std::nullopt, ProtocolResult::NoReply},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "refused " << c.refused << " silent " << !c.status);
        Rig rig;
        AnswerAllBut(rig, c.refused, c.status);
        EightRecords set;
        std::vector<int> started;
        const MessageSetResult r =
            SendMessageSet(*rig.protocol, kSign, set.spans, [&](int n) { started.push_back(n); });
        EXPECT_EQ(r.result, c.expected);
        EXPECT_EQ(r.failedMessage, c.refused);
        ASSERT_EQ(started.size(), std::size_t(c.refused));
        EXPECT_EQ(started.back(), c.refused);

        // Every message before the refused one went out whole; the refused one got only its
        // first block (retried); no frame of a later message was written.
        const auto& writes = rig.port->writes();
        const std::size_t whole = std::size_t(c.refused - 1) * kMessageBlocks;
        ASSERT_GT(writes.size(), whole);
        for (std::size_t w = 0; w < writes.size(); ++w) {
            const auto sent = Decode(writes[w], kSign);
            ASSERT_EQ(sent.command, kCommandMessageBlock);
            const int message = sent.payload[0] + 1;
            if (w < whole) {
                EXPECT_EQ(message, int(w / kMessageBlocks) + 1) << "frame " << w;
            } else {
                EXPECT_EQ(message, c.refused) << "frame " << w;
                EXPECT_EQ(sent.payload[3], kBlockFirst) << "frame " << w;
            }
        }
    }
}

TEST(MessageSet, ShortRecordIsPaddedAsASingleMessageIs) {
    // A span shorter than a record goes out as SendMessageBlocks pads it, byte for byte.
    Rig single, set;
    single.acknowledgeAll();
    set.acknowledgeAll();
    const Bytes shortRecord(300, 0x33);
    ASSERT_EQ(single.protocol->SendMessageBlocks(kSign, 1, shortRecord), ProtocolResult::Ok);
    MessageSetBytes spans;
    spans.fill(shortRecord);
    ASSERT_EQ(SendMessageSet(*set.protocol, kSign, spans).result, ProtocolResult::Ok);
    ASSERT_EQ(set.port->writes().size(), std::size_t(kMessageCount * kMessageBlocks));
    for (std::size_t w = 0; w < kMessageBlocks; ++w)
        EXPECT_EQ(set.port->writes()[w], single.port->writes()[w]) << "block " << w;
}

} // namespace
} // namespace pixbar
