// Fakes for the workflow tests: a private library folder, a virtual clock for the player's pauses,
// and a control client that stamps every call with the virtual time it was made at.
#pragma once

#include "ControlKit/ControlClientInterface.h"
#include "Platform/Environment.h"
#include "Runtime/Task.h"
#include "Support/RecordingControlClient.h"
#include "VedevaveApp/Workflows/WorkflowPlayer.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace WorkflowTestSupport {

// A step of `kind` with every field absent, as a hand-written file may have it.
inline VedevaveApp::WorkflowStep bareStep(VedevaveApp::WorkflowStep::Kind kind) {
    VedevaveApp::WorkflowStep step;
    step.kind = kind;
    return step;
}

// A fresh library folder per test, named by process and test so that parallel runs never share.
class TemporaryLibrary {
public:
    TemporaryLibrary() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::temp_directory_path() /
                 ("vdv-workflows-" + std::to_string(::getpid()) + "-" + (info ? info->name() : "x"));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder / "library");
        Platform::Environment::set("VEDEVAVE_WORKFLOWS_DIR", library().string());
    }
    ~TemporaryLibrary() {
        Platform::Environment::unset("VEDEVAVE_WORKFLOWS_DIR");
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::filesystem::path library() const { return folder / "library"; }
    // A folder beside the library, outside it.
    std::filesystem::path outside() const { return folder; }

    std::filesystem::path folder;
};

// Time that moves only when the player pauses. Every pause is recorded; `onPause` runs after the
// clock has moved (a test cancels there to interrupt a step at a chosen pause).
class VirtualClock {
public:
    std::chrono::nanoseconds now{0};
    std::vector<std::chrono::nanoseconds> pauses;
    std::function<void(std::size_t pauseNumber)> onPause;

    VedevaveApp::WorkflowPlayer::PauseFunction pauseFunction() {
        return [this](std::chrono::nanoseconds duration) { return pause(this, duration); };
    }

    // Rounded: swipe segments are whole nanoseconds, a few short of whole milliseconds.
    int64_t nowMs() const { return std::chrono::round<std::chrono::milliseconds>(now).count(); }

private:
    static asio::awaitable<void> pause(VirtualClock* clock, std::chrono::nanoseconds duration) {
        co_await Runtime::checkCancellation();
        clock->now += duration;
        clock->pauses.push_back(duration);
        if (clock->onPause) {
            clock->onPause(clock->pauses.size());
        }
        co_await Runtime::checkCancellation();
    }
};

// Every call as "<virtual ms> <call>", e.g. "40 tap 32767 32767".
class TimelineControlClient : public ControlKit::ControlClientInterface {
public:
    explicit TimelineControlClient(const VirtualClock& clock) : clock_(clock) {}

    void touch(std::string_view type, int32_t x, int32_t y) override {
        stamp([&] { inner_.touch(type, x, y); });
    }
    void tap(int32_t x, int32_t y) override {
        stamp([&] { inner_.tap(x, y); });
    }
    void releaseTouch(int32_t x, int32_t y, uint32_t minHoldUs, uint64_t pressedAt) override {
        stamp([&] { inner_.releaseTouch(x, y, minHoldUs, pressedAt); });
    }
    void button(std::string_view name, std::string_view state) override {
        stamp([&] { inner_.button(name, state); });
    }
    void key(bool down, uint16_t usage, std::string_view character, uint8_t mods) override {
        stamp([&] { inner_.key(down, usage, character, mods); });
    }
    void instant(bool hard) override {
        stamp([&] { inner_.instant(hard); });
    }
    void musicSafe(bool on) override {
        stamp([&] { inner_.musicSafe(on); });
    }
    void keyboardReset() override {
        stamp([&] { inner_.keyboardReset(); });
    }
    void swipeUp() override {
        stamp([&] { inner_.swipeUp(); });
    }
    void swipeDown() override {
        stamp([&] { inner_.swipeDown(); });
    }

    std::vector<std::string> timeline;
    // The calls without their times.
    std::vector<std::string> calls() const {
        std::vector<std::string> out;
        for (const auto& line : timeline) {
            out.push_back(line.substr(line.find(' ') + 1));
        }
        return out;
    }

private:
    template <typename Call>
    void stamp(Call call) {
        call();
        for (auto& line : inner_.takeCalls()) {
            char at[32];
            std::snprintf(at, sizeof at, "%g ", static_cast<double>(clock_.now.count()) / 1e6);
            timeline.push_back(at + line);
        }
    }

    const VirtualClock& clock_;
    TestSupport::RecordingControlClient inner_;
};

} // namespace WorkflowTestSupport
