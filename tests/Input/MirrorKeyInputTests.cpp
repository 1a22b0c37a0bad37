#include "InputTestSupport.h"
#include "Support/RecordingControlClient.h"
#include "VedevaveApp/Input/MirrorInputController.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

using namespace VedevaveApp;
using ControlKit::PhoneLayout;
using Calls = std::vector<std::string>;

class MirrorKeyInputTest : public ::testing::Test {
protected:
    MirrorKeyInputTest() {
        Platform::setGeneralClipboard(clipboard);
        ::unsetenv("VEDEVAVE_KB_PASTE");
    }
    ~MirrorKeyInputTest() override {
        Platform::setGeneralClipboard(nullptr);
        ::unsetenv("VEDEVAVE_KB_PASTE");
    }

    TestSupport::RecordingControlClient control;
    InputTestSupport::FakeHost host;
    InputTestSupport::FakeRecorder recorder;
    std::shared_ptr<InputTestSupport::MemoryClipboard> clipboard =
        std::make_shared<InputTestSupport::MemoryClipboard>();
    PhoneLayout layout = PhoneLayout::us;
    MirrorKeyInput keys{control, host, &recorder, nullptr, [this] { return layout; }};
};

// Key codes are evdev codes: 1 Esc, 16 Q, 28 Enter, 30 A, 105 Left, 183 F13 (in no table).
TEST_F(MirrorKeyInputTest, KeyDownSendsAndRecordsPerLayout) {
    const struct {
        const char* name;
        PhoneLayout layout;
        MirrorKeyEvent event;
        const char* pasteSetting; // VEDEVAVE_KB_PASTE, nullptr for unset
        Calls sent;
        Calls recorded;
    } cases[] = {
        {"letter", PhoneLayout::us, {30, "a", "a", 0}, nullptr, {"key down 0x04 '' 0x00"}, {"typed a"}},
        {"shifted letter",
         PhoneLayout::us,
         {30, "A", "a", 0x01},
         nullptr,
         {"key down 0x04 '' 0x01"},
         {"typed A"}},
        {"command keeps its modifier",
         PhoneLayout::us,
         {30, "a", "a", 0x08},
         nullptr,
         {"key down 0x04 '' 0x08"},
         {"typed a"}},
        {"option is dropped",
         PhoneLayout::us,
         {30, "å", "a", 0x04},
         nullptr,
         {"key down 0x04 '' 0x00"},
         {"typed å"}},
        {"by character, not position",
         PhoneLayout::fr,
         {16, "a", "a", 0},
         nullptr,
         {"key down 0x14 '' 0x00"},
         {"typed a"}},
        {"return is a key step",
         PhoneLayout::us,
         {28, "\r", "\r", 0},
         nullptr,
         {"key down 0x28 '' 0x00"},
         {"key 40 0"}},
        {"arrow by key code",
         PhoneLayout::de,
         {105, "", "", 0x01},
         nullptr,
         {"key down 0x50 '' 0x01"},
         {"key 80 1"}},
        {"escape by key code",
         PhoneLayout::us,
         {1, "\x1b", "\x1b", 0},
         nullptr,
         {"key down 0x29 '' 0x00"},
         {"key 41 0"}},
        {"key in no table", PhoneLayout::us, {183, "", "", 0}, nullptr, {}, {}},
        {"untypeable, pasting off", PhoneLayout::us, {18, "€", "e", 0}, "off", {}, {}},
        {"untypeable, pasting on",
         PhoneLayout::us,
         {18, "€", "e", 0},
         nullptr,
         {"key down 0x19 '' 0x08", "key up 0x19 '' 0x08", "keyboardReset"},
         {"typed €"}},
        {"no digits on German", PhoneLayout::de, {6, "5", "5", 0}, "no", {}, {}},
        {"physical forwards the position",
         PhoneLayout::physical,
         {16, "a", "a", 0x04},
         nullptr,
         {"key down 0x14 '' 0x04"},
         {"typed a"}},
        {"physical return",
         PhoneLayout::physical,
         {28, "\r", "\r", 0},
         nullptr,
         {"key down 0x28 '' 0x00"},
         {"key 40 0"}},
        {"physical key in no table", PhoneLayout::physical, {183, "", "", 0}, nullptr, {}, {}},
        {"auto-repeat", PhoneLayout::us, {30, "a", "a", 0, true}, nullptr, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        layout = c.layout;
        c.pasteSetting ? ::setenv("VEDEVAVE_KB_PASTE", c.pasteSetting, 1) : ::unsetenv("VEDEVAVE_KB_PASTE");
        control.takeCalls();
        recorder.events.clear();
        keys.focusLost();
        control.takeCalls();

        keys.keyDown(c.event);
        EXPECT_EQ(control.takeCalls(), c.sent);
        EXPECT_EQ(recorder.events, c.recorded);
    }
}

TEST_F(MirrorKeyInputTest, KeyUpRepeatsWhatTheKeyDownSent) {
    keys.keyDown({30, "A", "a", 0x01});
    keys.keyDown({29, "", "", 0x02}); // left control alone: nothing to send
    EXPECT_EQ(keys.keysDown().size(), 1u);
    EXPECT_EQ(keys.keysDown().at(30), (HeldKey{0x04, "", 0x01}));
    control.takeCalls();

    keys.keyUp({30, "a", "a", 0, true}); // auto-repeat: ignored
    EXPECT_TRUE(control.takeCalls().empty());
    keys.keyUp({30, "a", "a", 0}); // shift was let go first: the release still matches the press
    EXPECT_EQ(control.takeCalls(), (Calls{"key up 0x04 '' 0x01"}));
    keys.keyUp({30, "a", "a", 0}); // never stored (any more): nothing
    EXPECT_TRUE(control.takeCalls().empty());
    EXPECT_TRUE(keys.keysDown().empty());
}

TEST_F(MirrorKeyInputTest, PastedCharactersAreNotHeld) {
    keys.keyDown({18, "€", "e", 0});
    EXPECT_TRUE(keys.keysDown().empty());
    EXPECT_EQ(clipboard->text, "€");
}

TEST_F(MirrorKeyInputTest, KeyStepsAreRecordedOnlyWhileRecording) {
    recorder.isOn = false;
    keys.keyDown({105, "", "", 0});
    keys.keyDown({30, "a", "a", 0});
    EXPECT_EQ(recorder.events, (Calls{"typed a"})); // typed text goes to the recorder, which ignores it
}

TEST_F(MirrorKeyInputTest, LosingFocusReleasesEveryKey) {
    keys.keyDown({30, "a", "a", 0});
    keys.focusLost();
    EXPECT_TRUE(keys.keysDown().empty());
    EXPECT_EQ(control.calls().back(), "keyboardReset");
}

class PasteMacClipboardTest : public ::testing::Test {
protected:
    PasteMacClipboardTest() { Platform::setGeneralClipboard(clipboard); }
    ~PasteMacClipboardTest() override { Platform::setGeneralClipboard(nullptr); }

    TestSupport::RecordingControlClient control;
    InputTestSupport::VirtualScheduler scheduler;
    InputTestSupport::FakeHost host;
    InputTestSupport::FakeRecorder recorder;
    std::shared_ptr<InputTestSupport::MemoryClipboard> clipboard =
        std::make_shared<InputTestSupport::MemoryClipboard>();
    bool isGateFree = true;
    int leases = 0;
    MirrorInputController controller{MirrorInputDependencies{control, scheduler, host, &recorder,
                                                             DeviceGateAccess{nullptr,
                                                                              [this] {
                                                                                  leases +=
                                                                                      isGateFree ? 1 : 0;
                                                                                  return isGateFree;
                                                                              },
                                                                              [this] { --leases; }},
                                                             [] { return PhoneLayout::us; }}};
};

TEST_F(PasteMacClipboardTest, PastesAndRecordsTheClipboardText) {
    clipboard->text = "Grüße ✓";
    controller.pasteMacClipboard();
    EXPECT_EQ(control.calls(), (Calls{"key down 0x19 '' 0x08", "key up 0x19 '' 0x08", "keyboardReset"}));
    EXPECT_EQ(recorder.events, (Calls{"typed Grüße ✓"}));
    EXPECT_EQ(host.statuses, (Calls{"pasted 7 chars"}));
    EXPECT_EQ(leases, 0);

    clipboard->text = std::string(100, 'x');
    controller.pasteMacClipboard();
    EXPECT_EQ(host.statuses.back(), "pasted 40 chars");
}

TEST_F(PasteMacClipboardTest, EmptyClipboardOrBusyGateSendNothing) {
    controller.pasteMacClipboard();
    clipboard->text = "";
    controller.pasteMacClipboard();
    EXPECT_EQ(host.statuses, (Calls{"clipboard empty", "clipboard empty"}));
    EXPECT_EQ(leases, 0);

    clipboard->text = "text";
    isGateFree = false;
    controller.pasteMacClipboard();
    EXPECT_EQ(host.beeps, 1);
    EXPECT_EQ(host.statuses.back(), "agent action in progress");
    EXPECT_TRUE(control.calls().empty());
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_EQ(leases, 0);
}

} // namespace
