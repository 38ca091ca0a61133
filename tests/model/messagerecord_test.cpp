#include "messagerecord.h"

#include <gtest/gtest.h>

using namespace pixbar;

TEST(MessageRecord, AllZeroIsEmptySingleMessage) {
    MessageRecord r;
    EXPECT_EQ(r.end(), 0);
    EXPECT_EQ(r.kind(), 0);
}

TEST(MessageRecord, EndIsFirstZeroAttributeOrLastCell) {
    MessageRecord r;
    const std::uint8_t example[] = {0xF0, 0x10, 0x01, 0x01, 0x50, 0x81, 0x02,
                                    0x41, 0x02, 0x42, 0x12, 0xFF, 0x00, 0x00};
    std::copy(std::begin(example), std::end(example), r.bytes.begin());
    EXPECT_EQ(r.end(), 6);
    EXPECT_EQ(r.cell(3), (Cell{0x02, 0x41}));
    EXPECT_EQ(r.attribute(5), 0x12);
    EXPECT_EQ(r.character(5), kMarkTime);

    for (int i = 0; i < kCellCount; ++i) r.setCell(i, {0x02, 'x'});
    EXPECT_EQ(r.end(), kCellCount - 1);
    // The sentinel is outside the cell area: a non-zero sentinel does not move the end.
    r.bytes[kSentinelOffset] = 0x02;
    EXPECT_EQ(r.end(), kCellCount - 1);
}

TEST(MessageRecord, KindAboveLowerStoresSingle) {
    MessageRecord r;
    for (std::uint8_t k : {0, 1, 2}) {
        r.setKind(k);
        EXPECT_EQ(r.kind(), k);
    }
    r.setKind(2);
    r.setKind(3);
    EXPECT_EQ(r.kind(), 0);
    r.setKind(2);
    r.setKind(255);
    EXPECT_EQ(r.kind(), 0);
    EXPECT_EQ(r.bytes[kKindOffset], 0);
}

TEST(MessageRecord, ClearZeroesEveryByte) {
    MessageRecord r;
    r.bytes.fill(0xAB);
    r.clear();
    EXPECT_EQ(r, MessageRecord{});
}
