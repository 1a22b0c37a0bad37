#include "ControlKit/VedevaveSettings.h"
#include "Platform/Environment.h"
#include "Platform/PreferenceStore.h"

#include <gtest/gtest.h>

namespace Env = Platform::Environment;
namespace Settings = ControlKit::VedevaveSettings;
using ControlKit::FrameRate;
using ControlKit::KeyboardMode;
using ControlKit::LandscapeHome;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        store = std::make_shared<Platform::MemoryPreferenceStore>();
        Platform::PreferenceStore::setShared(store);
        for (const char* name : {"VEDEVAVE_CAPTURE_FPS", "VEDEVAVE_KB_PHONE", "VEDEVAVE_LANDSCAPE",
                                 "VEDEVAVE_HID_ORIENT"}) {
            Env::unset(name);
        }
        Settings::resetExportRecordForTesting();
    }
    void TearDown() override { Platform::PreferenceStore::setShared(nullptr); }

    std::shared_ptr<Platform::MemoryPreferenceStore> store;
};

TEST_F(SettingsTest, FreshInstallationDefaults) {
    EXPECT_EQ(Settings::frameRate(), FrameRate::automatic);
    EXPECT_EQ(Settings::captureFPS(), 120);
    EXPECT_EQ(Settings::title(Settings::frameRate()), "Automatic (120)");
    EXPECT_EQ(Settings::keyboardMode(), KeyboardMode::automatic);
    EXPECT_EQ(Settings::landscapeHome(), LandscapeHome::automatic);
    EXPECT_TRUE(Settings::showTouches());
    EXPECT_FALSE(Settings::didShowFirstHints());
    EXPECT_FALSE(Settings::setupChecklistSeen());
    EXPECT_FALSE(Settings::permissionsGateCompleted());
}

TEST_F(SettingsTest, StoredValuesAndTheirTypes) {
    store->setValue(Settings::Keys::captureFPS, 60);
    EXPECT_EQ(Settings::frameRate(), FrameRate::fps60);
    EXPECT_EQ(Settings::captureFPS(), 60);
    store->setValue(Settings::Keys::captureFPS, 90); // unknown integer
    EXPECT_EQ(Settings::frameRate(), FrameRate::automatic);
    store->setValue(Settings::Keys::captureFPS, "120"); // not an integer
    EXPECT_EQ(Settings::frameRate(), FrameRate::automatic);
    Settings::setFrameRate(FrameRate::fps120);
    EXPECT_EQ(store->value(Settings::Keys::captureFPS), 120);

    store->setValue(Settings::Keys::keyboardPhone, "zz");
    EXPECT_EQ(Settings::keyboardMode(), KeyboardMode::automatic);
    Settings::setKeyboardMode(KeyboardMode::de);
    EXPECT_EQ(Settings::keyboardMode(), KeyboardMode::de);
    store->setValue(Settings::Keys::landscapeHome, "sideways");
    EXPECT_EQ(Settings::landscapeHome(), LandscapeHome::automatic);
    Settings::setLandscapeHome(LandscapeHome::left);
    EXPECT_EQ(Settings::landscapeHome(), LandscapeHome::left);
}

TEST_F(SettingsTest, CaptureRateFromTheEnvironment) {
    store->setValue(Settings::Keys::captureFPS, 60);
    struct Case {
        const char* value;
        int expected;
    };
    for (const Case& c : {Case{"500", 240}, Case{"0", 60}, Case{"-5", 60}, Case{"abc", 60}, Case{" 90 \n", 90},
                          Case{"+30", 30}, Case{"", 60}}) {
        Env::set("VEDEVAVE_CAPTURE_FPS", c.value);
        EXPECT_EQ(Settings::captureFPS(), c.expected) << "'" << c.value << "'";
    }
}

TEST_F(SettingsTest, KeyboardAndLandscapeFromTheEnvironment) {
    store->setValue(Settings::Keys::keyboardPhone, "de");
    struct KeyboardCase {
        const char* value;
        KeyboardMode expected;
    };
    for (const KeyboardCase& c : {KeyboardCase{"English", KeyboardMode::us}, KeyboardCase{"EN", KeyboardMode::us},
                                  KeyboardCase{"xx", KeyboardMode::automatic}, KeyboardCase{"FR", KeyboardMode::fr},
                                  KeyboardCase{" physical ", KeyboardMode::physical},
                                  KeyboardCase{"  ", KeyboardMode::de}}) {
        Env::set("VEDEVAVE_KB_PHONE", c.value);
        EXPECT_EQ(Settings::keyboardMode(), c.expected) << "'" << c.value << "'";
    }

    store->setValue(Settings::Keys::landscapeHome, "left");
    struct LandscapeCase {
        const char* landscape; // null: unset
        const char* orient;    // null: unset
        LandscapeHome expected;
    };
    for (const LandscapeCase& c :
         {LandscapeCase{"Right", nullptr, LandscapeHome::automatic},
          LandscapeCase{"HomeLeft", nullptr, LandscapeHome::left},
          LandscapeCase{"buffer", nullptr, LandscapeHome::buffer},
          LandscapeCase{"right", "off", LandscapeHome::automatic}, // the landscape variable decides first
          LandscapeCase{nullptr, "Off", LandscapeHome::buffer}, LandscapeCase{nullptr, "0", LandscapeHome::buffer},
          LandscapeCase{nullptr, "on", LandscapeHome::left}, LandscapeCase{"", "on", LandscapeHome::left}}) {
        c.landscape ? Env::set("VEDEVAVE_LANDSCAPE", c.landscape) : Env::unset("VEDEVAVE_LANDSCAPE");
        c.orient ? Env::set("VEDEVAVE_HID_ORIENT", c.orient) : Env::unset("VEDEVAVE_HID_ORIENT");
        EXPECT_EQ(Settings::landscapeHome(), c.expected)
            << (c.landscape ? c.landscape : "-") << " / " << (c.orient ? c.orient : "-");
    }
}

TEST_F(SettingsTest, ApplyToEnvironmentExportsTheEffectiveValues) {
    Settings::setFrameRate(FrameRate::fps60);
    Settings::setKeyboardMode(KeyboardMode::fr);
    Settings::setLandscapeHome(LandscapeHome::buffer);
    Env::set("VEDEVAVE_LANDSCAPE", "left"); // set before launch: left wins over the stored buffer
    Settings::resetExportRecordForTesting();
    Settings::applyToEnvironment();
    EXPECT_EQ(Env::get("VEDEVAVE_CAPTURE_FPS"), "60");
    EXPECT_EQ(Env::get("VEDEVAVE_KB_PHONE"), "fr");
    EXPECT_EQ(Env::get("VEDEVAVE_LANDSCAPE"), "left");
    EXPECT_FALSE(Env::get("VEDEVAVE_HID_ORIENT"));

    Env::unset("VEDEVAVE_LANDSCAPE");
    Env::set("VEDEVAVE_HID_ORIENT", "off");
    Settings::resetExportRecordForTesting();
    Env::set("VEDEVAVE_LANDSCAPE", "");
    Settings::applyToEnvironment();
    // Buffer keeps an earlier landscape variable as it is.
    EXPECT_EQ(Env::get("VEDEVAVE_HID_ORIENT"), "buffer");
    EXPECT_EQ(Env::get("VEDEVAVE_LANDSCAPE"), "");
}

TEST_F(SettingsTest, AChoiceSavedAfterExportTakesEffectUnlessTheUserSetTheVariable) {
    Env::set("VEDEVAVE_KB_PHONE", "English"); // the user's own override, before launch
    Settings::applyToEnvironment();           // start-up: exports capture rate 120, keyboard "us"
    EXPECT_EQ(Env::get("VEDEVAVE_CAPTURE_FPS"), "120");
    EXPECT_EQ(Env::get("VEDEVAVE_KB_PHONE"), "us");

    // The settings panel saves, then exports.
    Settings::setFrameRate(FrameRate::fps60);
    Settings::setKeyboardMode(KeyboardMode::de);
    Settings::setLandscapeHome(LandscapeHome::left);
    EXPECT_EQ(Settings::captureFPS(), 60);                  // our own export does not hide the choice
    EXPECT_EQ(Settings::keyboardMode(), KeyboardMode::us);  // the user's variable still overrides
    EXPECT_EQ(Settings::landscapeHome(), LandscapeHome::left);
    Settings::applyToEnvironment();
    EXPECT_EQ(Env::get("VEDEVAVE_CAPTURE_FPS"), "60");
    EXPECT_EQ(Env::get("VEDEVAVE_KB_PHONE"), "us");
    EXPECT_EQ(Env::get("VEDEVAVE_LANDSCAPE"), "left");

    Settings::setLandscapeHome(LandscapeHome::buffer);
    Settings::applyToEnvironment();
    EXPECT_EQ(Settings::landscapeHome(), LandscapeHome::buffer);
    EXPECT_EQ(Env::get("VEDEVAVE_HID_ORIENT"), "buffer");
    Settings::setLandscapeHome(LandscapeHome::automatic);
    Settings::applyToEnvironment();
    EXPECT_EQ(Settings::landscapeHome(), LandscapeHome::automatic);
    EXPECT_FALSE(Env::get("VEDEVAVE_HID_ORIENT"));
    EXPECT_EQ(Env::get("VEDEVAVE_LANDSCAPE"), "right");
}

TEST(SettingsValues, RawValuesTitlesAndOrder) {
    EXPECT_EQ(Settings::rawValue(LandscapeHome::automatic), "right");
    EXPECT_EQ(Settings::title(KeyboardMode::us), "US / IT / ES QWERTY");
    EXPECT_EQ(Settings::title(LandscapeHome::buffer), "No remap (debug)");
    std::vector<int> rates;
    for (auto rate : Settings::allFrameRates) {
        rates.push_back(Settings::rawValue(rate));
    }
    EXPECT_EQ(rates, (std::vector<int>{0, 60, 120}));
    EXPECT_EQ(Settings::keyboardModeFromRaw("physical"), KeyboardMode::physical);
    EXPECT_FALSE(Settings::keyboardModeFromRaw("Physical"));
}

} // namespace
