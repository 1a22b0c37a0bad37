// Pure tests of the HID socket decoder: bytes spelled out as the application's
// HidSocketClient writes them.
#include "Engine/HidParser.h"

#include <gtest/gtest.h>

using namespace Engine;

namespace {

std::vector<HidMessage> decode(HidParser& parser, const std::vector<uint8_t>& bytes, bool* ok = nullptr) {
    std::vector<HidMessage> out;
    const bool result = parser.feed(bytes, out);
    if (ok != nullptr) {
        *ok = result;
    }
    return out;
}

const std::vector<uint8_t> touchBytes = {
    0x01,       // type: touch
    0x01,       // contact: finger down
    0x70, 0x11, // x = 4464, little-endian
    0xff, 0xff, // y = 65535
};

const std::vector<uint8_t> buttonBytes = {
    0x02,                // type: button
    0x04,                // name length 4
    'h',  'o', 'm', 'e', // name
    0x01,                // pressed
};

const std::vector<uint8_t> keyBytes = {
    0x05,       // type: key
    0x01,       // down
    0x04, 0x00, // usage 0x0004 (a)
    0x01,       // mods: shift
    0x01,       // character length 1
    'A',        // character
};

} // namespace

TEST(HidParser, DecodesATouch) {
    HidParser parser;
    const auto messages = decode(parser, touchBytes);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(std::get<HidTouch>(messages[0]), (HidTouch{true, 4464, 65535}));
}

TEST(HidParser, DecodesEveryType) {
    std::vector<uint8_t> stream;
    stream.insert(stream.end(), touchBytes.begin(), touchBytes.end());
    stream.insert(stream.end(), buttonBytes.begin(), buttonBytes.end());
    stream.insert(stream.end(), {0x03, 0x01}); // instant, hard = 1
    stream.insert(stream.end(), {0x04, 0x00}); // music safe, on = 0
    stream.insert(stream.end(), keyBytes.begin(), keyBytes.end());
    stream.insert(stream.end(), {0x06});                               // keyboard reset
    stream.insert(stream.end(), {0x01, 0x00, 0x00, 0x80, 0x00, 0x80}); // release at 32768, 32768

    HidParser parser;
    const auto messages = decode(parser, stream);
    ASSERT_EQ(messages.size(), 7u);
    EXPECT_EQ(std::get<HidTouch>(messages[0]), (HidTouch{true, 4464, 65535}));
    EXPECT_EQ(std::get<HidButton>(messages[1]), (HidButton{"home", true}));
    EXPECT_EQ(std::get<HidInstant>(messages[2]), HidInstant{true});
    EXPECT_EQ(std::get<HidMusicSafe>(messages[3]), HidMusicSafe{false});
    EXPECT_EQ(std::get<HidKey>(messages[4]), (HidKey{true, 4, 0x01, "A"}));
    EXPECT_TRUE(std::holds_alternative<HidKeyboardReset>(messages[5]));
    EXPECT_EQ(std::get<HidTouch>(messages[6]), (HidTouch{false, 32768, 32768}));
    EXPECT_EQ(parser.pendingBytes(), 0u);
}

TEST(HidParser, SplitAtEveryByteGivesTheSameMessages) {
    std::vector<uint8_t> stream;
    for (const auto* part : {&touchBytes, &buttonBytes, &keyBytes}) {
        stream.insert(stream.end(), part->begin(), part->end());
    }
    HidParser parser;
    std::vector<HidMessage> all;
    for (uint8_t byte : stream) {
        std::vector<uint8_t> one{byte};
        const auto messages = decode(parser, one);
        all.insert(all.end(), messages.begin(), messages.end());
    }
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(std::get<HidButton>(all[1]).name, "home");
    EXPECT_EQ(std::get<HidKey>(all[2]).character, "A");
}

TEST(HidParser, SplitAtEveryPositionOfAPairOfMessages) {
    std::vector<uint8_t> stream(keyBytes);
    stream.insert(stream.end(), buttonBytes.begin(), buttonBytes.end());
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        HidParser parser;
        auto first =
            decode(parser, std::vector<uint8_t>(stream.begin(), stream.begin() + static_cast<long>(cut)));
        const auto second =
            decode(parser, std::vector<uint8_t>(stream.begin() + static_cast<long>(cut), stream.end()));
        first.insert(first.end(), second.begin(), second.end());
        ASSERT_EQ(first.size(), 2u) << "cut at " << cut;
        EXPECT_EQ(std::get<HidKey>(first[0]), (HidKey{true, 4, 1, "A"}));
        EXPECT_EQ(std::get<HidButton>(first[1]), (HidButton{"home", true}));
    }
}

TEST(HidParser, ButtonPressedByteOtherThanOneStillCountsAsPressed) {
    HidParser parser;
    const auto messages = decode(parser, {0x02, 0x04, 'l', 'o', 'c', 'k', 0x00}); // lock, pressed = 0
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(std::get<HidButton>(messages[0]), (HidButton{"lock", false}));
}

TEST(HidParser, LongestNameAndCharacterAre255Bytes) {
    std::vector<uint8_t> stream = {0x05, 0x00, 0x2c,
                                   0x00, 0x00, 0xff}; // key up, usage 0x2c, no mods, 255 bytes
    stream.insert(stream.end(), 255, 'x');
    stream.insert(stream.end(), {0x02, 0x00, 0x01}); // button with an empty name, pressed
    HidParser parser;
    const auto messages = decode(parser, stream);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(std::get<HidKey>(messages[0]).character.size(), 255u);
    EXPECT_EQ(std::get<HidButton>(messages[1]).name, "");
}

TEST(HidParser, UnknownTypeFailsAfterDeliveringEarlierMessages) {
    std::vector<uint8_t> stream(touchBytes);
    stream.insert(stream.end(), {0x07, 0x01, 0x02}); // 0x07 is no HID message type
    stream.insert(stream.end(), touchBytes.begin(), touchBytes.end());
    HidParser parser;
    bool ok = true;
    const auto messages = decode(parser, stream, &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(parser.hasFailed());
    EXPECT_EQ(parser.failedType(), 0x07);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_TRUE(decode(parser, touchBytes, &ok).empty());
    EXPECT_FALSE(ok);
}

TEST(HidParser, TypeZeroIsUnknown) {
    HidParser parser;
    bool ok = true;
    decode(parser, {0x00}, &ok);
    EXPECT_FALSE(ok);
}

TEST(HidParser, EncodeMatchesTheApplicationsBytes) {
    const std::string touch = encodeHidMessage(HidTouch{true, 4464, 65535});
    EXPECT_EQ(std::vector<uint8_t>(touch.begin(), touch.end()), touchBytes);
    const std::string key = encodeHidMessage(HidKey{true, 4, 1, "A"});
    EXPECT_EQ(std::vector<uint8_t>(key.begin(), key.end()), keyBytes);
    const std::string longName = encodeHidMessage(HidButton{std::string(300, 'n'), true});
    EXPECT_EQ(longName.size(), 1u + 1u + 255u + 1u); // cut to 255 bytes like the client does
    EXPECT_EQ(static_cast<uint8_t>(longName[1]), 255);
    EXPECT_EQ(encodeHidMessage(HidKeyboardReset{}), std::string("\x06", 1));
}

TEST(HidParser, TenThousandTouchesInOneFeed) {
    std::string stream;
    for (int i = 0; i < 10000; ++i) {
        stream += encodeHidMessage(
            HidTouch{i % 2 == 0, static_cast<uint16_t>(i), static_cast<uint16_t>(65535 - i)});
    }
    HidParser parser;
    std::vector<HidMessage> out;
    ASSERT_TRUE(parser.feed(std::span(reinterpret_cast<const uint8_t*>(stream.data()), stream.size()), out));
    ASSERT_EQ(out.size(), 10000u);
    EXPECT_EQ(std::get<HidTouch>(out[9999]), (HidTouch{false, 9999, 65535 - 9999}));
}
