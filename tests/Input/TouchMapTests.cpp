#include "VedevaveApp/Input/HostKeyTables.h"
#include "VedevaveApp/Input/TouchMap.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace {

using namespace VedevaveApp;
using TouchMap::DevicePoint;
using TouchMap::LandscapeHome;
using TouchMap::Mode;

TEST(TouchMap, TallPictureIsPillarBoxedAndMarginsMapToTheNearestEdge) {
    const TouchMap::Size view{800, 600};
    const TouchMap::Size picture{1170, 2532};
    const auto rect = TouchMap::contentRect(view, picture);
    EXPECT_NEAR(rect.width, 277.25, 0.01);
    EXPECT_DOUBLE_EQ(rect.height, 600);
    EXPECT_NEAR(rect.x, (800 - 277.25) / 2, 0.01);
    EXPECT_DOUBLE_EQ(rect.y, 0);

    EXPECT_EQ(TouchMap::contentUV({10, 300}, view, picture), (TouchMap::Point{0, 0.5}));
    EXPECT_EQ(TouchMap::contentUV({790, 300}, view, picture), (TouchMap::Point{1, 0.5}));
}

TEST(TouchMap, WidePictureIsLetterBoxed) {
    const auto rect = TouchMap::contentRect({800, 600}, {2532, 1170});
    EXPECT_DOUBLE_EQ(rect.width, 800);
    EXPECT_NEAR(rect.height, 800 * 1170.0 / 2532, 1e-9);
    EXPECT_NEAR(rect.y, (600 - rect.height) / 2, 1e-9);
}

TEST(TouchMap, UnusablePicturesAndPointsGiveNoPosition) {
    EXPECT_FALSE(TouchMap::contentUV({0, 0}, {0, 0}, {0, 0}));
    EXPECT_FALSE(TouchMap::contentUV({0.5, 0.5}, {1, 1}, {1170, 2532}));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(TouchMap::contentUV({nan, 10}, {800, 600}, {1170, 2532}));
    // Without a picture size the whole view is the picture.
    EXPECT_EQ(TouchMap::contentUV({400, 150}, {800, 600}, {0, 0}), (TouchMap::Point{0.5, 0.25}));
}

TEST(TouchMap, QuantizeClampsAndFloors) {
    const struct {
        double value;
        int32_t quantized;
    } cases[] = {
        {-0.5, 0},  {std::numeric_limits<double>::quiet_NaN(), 0},   {0, 0}, {0.5, 32767}, {1, 65535},
        {7, 65535}, {std::numeric_limits<double>::infinity(), 65535}};
    for (const auto& c : cases) {
        EXPECT_EQ(TouchMap::quantize(c.value), c.quantized) << c.value;
    }
}

TEST(TouchMap, OrientationMappingAndItsInverse) {
    const struct {
        Mode mode;
        TouchMap::Point content;
        DevicePoint device;
    } cases[] = {
        {Mode::landscape(LandscapeHome::right), {0.5, 0.5}, {32767, 32767}},
        {Mode::landscape(LandscapeHome::right), {0, 0}, {65535, 0}},
        {Mode::landscape(LandscapeHome::left), {0, 0}, {0, 65535}},
        {Mode::landscape(LandscapeHome::left), {0.25, 0.1}, {6553, 49151}},
        {Mode::portrait(), {0.25, 0.1}, {16383, 6553}},
        {Mode::buffer(), {1, 0}, {65535, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TouchMap::deviceCoordinates(c.content, c.mode), c.device)
            << c.content.x << "," << c.content.y;
    }
    // Mapping back lands on the same picture point, within one device unit, in every mode.
    for (auto mode : {Mode::portrait(), Mode::buffer(), Mode::landscape(LandscapeHome::left),
                      Mode::landscape(LandscapeHome::right)}) {
        for (TouchMap::Point content : {TouchMap::Point{0.25, 0.1}, TouchMap::Point{0.9, 0.6}}) {
            const auto back = TouchMap::contentCoordinates(TouchMap::deviceCoordinates(content, mode), mode);
            EXPECT_NEAR(back.x, content.x, 2.0 / 65535);
            EXPECT_NEAR(back.y, content.y, 2.0 / 65535);
        }
    }
}

TEST(TouchMap, ContentPointIsTheInverseOfContentUV) {
    const TouchMap::Size view{800, 600};
    const TouchMap::Size picture{1170, 2532};
    const auto point = TouchMap::contentPoint({0.25, 0.75}, view, picture);
    const auto uv = TouchMap::contentUV(point, view, picture);
    ASSERT_TRUE(uv);
    EXPECT_NEAR(uv->x, 0.25, 1e-12);
    EXPECT_NEAR(uv->y, 0.75, 1e-12);
}

std::vector<uint16_t> usagesOf(std::span<const KeyCodeUsage> table) {
    std::vector<uint16_t> usages;
    for (const auto& entry : table) {
        usages.push_back(entry.usage);
    }
    std::sort(usages.begin(), usages.end());
    return usages;
}

TEST(HostKeyTables, LinuxKeysReachTheSameUsagesAsMacKeys) {
    EXPECT_EQ(MacHID::letterDigitPunctuationTable().size(), 50u);
    EXPECT_EQ(MacHID::specialTable().size(), 29u);
    EXPECT_EQ(usagesOf(LinuxHID::letterDigitPunctuationTable()),
              usagesOf(MacHID::letterDigitPunctuationTable()));
    EXPECT_EQ(usagesOf(LinuxHID::specialTable()), usagesOf(MacHID::specialTable()));

    EXPECT_FALSE(MacHID::letterDigitPunctuation(36)); // Return is special only
    EXPECT_EQ(MacHID::specialUsage(36), 0x28);
    EXPECT_EQ(LinuxHID::specialUsage(28), 0x28);           // KEY_ENTER
    EXPECT_EQ(LinuxHID::letterDigitPunctuation(30), 0x04); // KEY_A
    EXPECT_EQ(LinuxHID::letterDigitPunctuation(16), 0x14); // KEY_Q, by position
    EXPECT_FALSE(LinuxHID::specialUsage(30));
}

} // namespace
