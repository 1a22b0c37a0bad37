// Fakes for the mirror input tests: a virtual clock and scheduler, a host window, a recorder and an
// in-memory clipboard.
#pragma once

#include "Platform/Clipboard.h"
#include "VedevaveApp/Input/InputRecorder.h"
#include "VedevaveApp/Input/MainScheduler.h"
#include "VedevaveApp/Input/MirrorInputHost.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace InputTestSupport {

// Time stands still until a test advances it; due work then runs in time order.
class VirtualScheduler : public VedevaveApp::MainScheduler {
public:
    uint64_t monotonicNanoseconds() const override { return nowNs; }

    VedevaveApp::ScheduledTask schedule(std::chrono::nanoseconds delay, std::function<void()> work) override {
        auto state = std::make_shared<VedevaveApp::ScheduledTask::State>();
        pending_.push_back({nowNs + static_cast<uint64_t>(std::max<int64_t>(delay.count(), 0)), order_++,
                            state, std::move(work)});
        return VedevaveApp::ScheduledTask(state);
    }

    void advance(std::chrono::nanoseconds duration) {
        const uint64_t end = nowNs + static_cast<uint64_t>(duration.count());
        for (;;) {
            auto next = std::min_element(pending_.begin(), pending_.end(), [](const auto& a, const auto& b) {
                return a.dueNs != b.dueNs ? a.dueNs < b.dueNs : a.order < b.order;
            });
            if (next == pending_.end() || next->dueNs > end) {
                break;
            }
            Entry entry = std::move(*next);
            pending_.erase(next);
            nowNs = entry.dueNs;
            VedevaveApp::ScheduledTask::run(entry.state, entry.work);
        }
        nowNs = end;
    }

    uint64_t nowNs = 1'000'000'000;

private:
    struct Entry {
        uint64_t dueNs;
        uint64_t order;
        std::shared_ptr<VedevaveApp::ScheduledTask::State> state;
        std::function<void()> work;
    };
    std::vector<Entry> pending_;
    uint64_t order_ = 0;
};

class FakeHost : public VedevaveApp::MirrorInputHost {
public:
    void beep() override { ++beeps; }
    void showStatus(std::string_view text) override { statuses.emplace_back(text); }
    bool isInLiveResize() const override { return isResizing; }
    void makeFirstResponder() override { isFirstResponder = true; }
    int captureFrameRate() const override { return frameRate; }
    bool showTouches() const override { return isShowingTouches; }
    void setShowTouches(bool isOn) override { isShowingTouches = isOn; }

    int beeps = 0;
    std::vector<std::string> statuses;
    bool isResizing = false;
    bool isFirstResponder = false;
    int frameRate = 60;
    bool isShowingTouches = true;
};

class FakeRecorder : public VedevaveApp::InputRecorder {
public:
    bool isRecording() const override { return isOn; }
    void touchDown(double nx, double ny) override { events.push_back("down " + point(nx, ny)); }
    void touchUp(double nx, double ny) override { events.push_back("up " + point(nx, ny)); }
    void typed(std::string_view text) override { events.push_back("typed " + std::string(text)); }
    void recordKey(uint16_t usage, uint8_t mods) override {
        events.push_back("key " + std::to_string(usage) + " " + std::to_string(mods));
    }

    // Four decimals: finer than a view point, coarser than the 1/65535 of quantization.
    static std::string point(double x, double y) {
        char text[64];
        std::snprintf(text, sizeof text, "%.4f %.4f", x, y);
        return text;
    }

    bool isOn = true;
    std::vector<std::string> events;
};

class MemoryClipboard : public Platform::Clipboard {
public:
    std::optional<std::string> readText() override { return text; }
    bool writeText(std::string_view newText) override {
        text = std::string(newText);
        return true;
    }
    std::optional<std::string> text;
};

} // namespace InputTestSupport
