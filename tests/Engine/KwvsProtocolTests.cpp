// Pure tests of the KWVS/3 codec and of the ring's slot bookkeeping.
#include "Engine/KwvsProtocol.h"
#include "Engine/SlotLedger.h"

#include <gtest/gtest.h>

using namespace Engine;

namespace {
std::vector<uint8_t> bytesOf(const std::string& s) {
    return {s.begin(), s.end()};
}
} // namespace

TEST(KwvsProtocol, BindBytes) {
    KwvsBindInfo info;
    info.slots = 4;
    info.bytesPerRow = 1560;
    info.slotBytes = 3293184;
    info.width = 390;
    info.height = 844;
    info.headerBytes = 4096;
    info.path = "/r";
    const std::vector<uint8_t> expected = {
        0x11,                   // kind: bind
        'K',  'W',  'V',  '3',  // offset 0: magic
        0x03, 0x00,             // offset 4: protocol version (ignored by the application)
        0x04, 0x00,             // offset 6: slots = 4
        0x18, 0x06, 0x00, 0x00, // offset 8: bytesPerRow = 1560
        0x00, 0x40, 0x32, 0x00, // offset 12: slotBytes = 3293184
        0x86, 0x01,             // offset 16: width = 390
        0x4c, 0x03,             // offset 18: height = 844
        0x00, 0x10, 0x00, 0x00, // offset 20: headerBytes = 4096
        0x02, 0x00,             // offset 24: path length = 2
        '/',  'r',              // path
    };
    EXPECT_EQ(bytesOf(encodeKwvsBind(info)), expected);
}

TEST(KwvsProtocol, FrameBytes) {
    const std::vector<uint8_t> expected = {
        0x20,                                           // kind: frame
        0x07, 0x00, 0x00, 0x00,                         // seq = 7
        0x02, 0x00,                                     // slot = 2
        0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, // producedNs = 0x0102030405060708
    };
    EXPECT_EQ(bytesOf(encodeKwvsFrame(7, 2, 0x0102030405060708ull)), expected);
}

TEST(KwvsClientParser, HelloThenAcksAcrossSplitReads) {
    const std::vector<uint8_t> stream = {
        0x01, 'K',  'W',  'V',  '3',  0x03, 0x00, 0x00, 0x00, // hello, version 3
        0x30, 0x05, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00,
        0,    0,    0,    0, // ack seq 5, displayedNs 16
        0x30, 0x06, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff, 0xff,
        0xff, 0xff, 0xff, 0xff, // ack seq 6, max ns
    };
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        KwvsClientParser parser;
        std::vector<KwvsClientMessage> out;
        ASSERT_TRUE(parser.feed(std::span(stream.data(), cut), out));
        ASSERT_TRUE(parser.feed(std::span(stream.data() + cut, stream.size() - cut), out));
        ASSERT_EQ(out.size(), 3u) << "cut at " << cut;
        EXPECT_TRUE(std::holds_alternative<KwvsHello>(out[0]));
        EXPECT_EQ(std::get<KwvsAck>(out[1]), (KwvsAck{5, 16}));
        EXPECT_EQ(std::get<KwvsAck>(out[2]), (KwvsAck{6, UINT64_MAX}));
    }
}

TEST(KwvsClientParser, RejectsAWrongMagicAtOnce) {
    KwvsClientParser parser;
    std::vector<KwvsClientMessage> out;
    const std::vector<uint8_t> bad = {0x01, 'K', 'W', 'V'}; // still incomplete, but not "KWV3"
    EXPECT_TRUE(parser.feed(std::span(bad.data(), 3), out));
    const std::vector<uint8_t> more = {'2'};
    EXPECT_FALSE(parser.feed(more, out));
    EXPECT_TRUE(parser.hasFailed());
}

TEST(KwvsClientParser, RejectsAnotherVersion) {
    KwvsClientParser parser;
    std::vector<KwvsClientMessage> out;
    const std::vector<uint8_t> hello2 = {0x01, 'K', 'W', 'V', '3', 0x02, 0x00, 0x00, 0x00}; // version 2
    EXPECT_FALSE(parser.feed(hello2, out));
    EXPECT_TRUE(out.empty());
}

TEST(KwvsClientParser, RejectsAnAckBeforeHelloAndASecondHello) {
    {
        KwvsClientParser parser;
        std::vector<KwvsClientMessage> out;
        const std::vector<uint8_t> ack = {0x30, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        EXPECT_FALSE(parser.feed(ack, out));
    }
    {
        KwvsClientParser parser;
        std::vector<KwvsClientMessage> out;
        const std::string twice = encodeKwvsHello() + encodeKwvsHello();
        EXPECT_FALSE(parser.feed(bytesOf(twice), out));
        EXPECT_EQ(out.size(), 1u);
    }
}

TEST(SlotLedger, HandsOutFreeSlotsAndSkipsWhenAllWait) {
    SlotLedger ledger(2);
    auto a = ledger.acquire(1);
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->needsPixels);
    ledger.markSent(a->slot, 1, 100, 1000);
    auto b = ledger.acquire(1);
    ASSERT_TRUE(b);
    EXPECT_NE(b->slot, a->slot);
    ledger.markSent(b->slot, 1, 101, 2000);
    EXPECT_FALSE(ledger.acquire(1)); // both wait: the frame is skipped
    EXPECT_EQ(ledger.inFlight(), 2);

    const auto released = ledger.acknowledge(100);
    ASSERT_TRUE(released);
    EXPECT_EQ(released->slot, a->slot);
    EXPECT_EQ(released->producedNs, 1000u);
    EXPECT_FALSE(ledger.acknowledge(100)); // a repeated acknowledgement frees nothing
    EXPECT_FALSE(ledger.acknowledge(999));
}

TEST(SlotLedger, ReusesASlotThatAlreadyHoldsThePicture) {
    SlotLedger ledger(3);
    for (uint32_t seq = 1; seq <= 3; ++seq) {
        const auto grant = ledger.acquire(7);
        ASSERT_TRUE(grant);
        ledger.markSent(grant->slot, seq == 3 ? 7 : seq, seq, 0);
    }
    ledger.acknowledge(1);
    ledger.acknowledge(3);
    const auto grant = ledger.acquire(7);
    ASSERT_TRUE(grant);
    EXPECT_FALSE(grant->needsPixels); // slot of seq 3 holds version 7
    const auto other = ledger.acquire(8);
    ASSERT_TRUE(other);
    EXPECT_TRUE(other->needsPixels);
}

TEST(SlotLedger, NewPicturesGoToTheLeastRecentlyReleasedSlot) {
    SlotLedger ledger(3);
    for (uint32_t seq = 1; seq <= 3; ++seq) {
        const auto grant = ledger.acquire(seq);
        ledger.markSent(grant->slot, seq, seq, 0);
    }
    ledger.acknowledge(2);
    ledger.acknowledge(1);
    const auto grant = ledger.acquire(9);
    ASSERT_TRUE(grant);
    EXPECT_EQ(grant->slot, 1); // released before slot 0
}

TEST(SlotLedger, WarmingSlotsStayOutOfCirculation) {
    SlotLedger ledger(2);
    ledger.setWarming(0);
    ledger.setWarming(1);
    EXPECT_FALSE(ledger.acquire(1));
    EXPECT_EQ(ledger.warmSlots(), 0);
    ledger.setWarm(1);
    const auto grant = ledger.acquire(1);
    ASSERT_TRUE(grant);
    EXPECT_EQ(grant->slot, 1);
    EXPECT_EQ(ledger.warmSlots(), 1);
}
