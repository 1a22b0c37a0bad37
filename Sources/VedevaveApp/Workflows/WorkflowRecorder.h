// Turns the user's manual phone input into workflow steps while recording is on: presses become
// taps or swipes, typed characters gather into type steps, special keys and dock buttons become
// key and button steps, and the time between actions becomes wait steps shortened by half the
// measured round trip (playback has its own latency). The mirror's input controller reports to it
// through InputRecorder; the dock calls `button`; the sidebar's record button starts and stops it.
//
// Main thread only: every operation, both callbacks and the delayed type flush run there. Time comes
// from the scheduler's clock, so tests drive it by hand.
#pragma once

#include "VedevaveApp/Input/InputRecorder.h"
#include "VedevaveApp/Input/MainScheduler.h"
#include "VedevaveApp/Workflows/Workflow.h"

#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace VedevaveApp {

class WorkflowRecorder final : public InputRecorder {
public:
    static constexpr std::size_t stepLimit = 2048;
    static constexpr std::size_t typeBufferLimit = 8192;       // characters: the longest type step
    static constexpr std::size_t typeBufferByteLimit = 32'768; // bytes: the same step's byte limit
    static constexpr std::chrono::milliseconds typeFlushDelay{450};
    static constexpr int64_t gapMinimumMs = 80;       // before touches, keys and buttons
    static constexpr int64_t typedGapMinimumMs = 120; // within typing
    static constexpr int64_t longestPauseMs = 5000;
    static constexpr double tapDistance = 0.03; // horizontal plus vertical movement, normalized
    static constexpr std::chrono::milliseconds tapDuration{450};
    static constexpr std::chrono::milliseconds shortestSwipe{150};
    // The longest swipe a saved workflow may hold; a longer press is kept as a swipe of this length
    // so that one long press does not make the whole recording impossible to save.
    static constexpr int64_t longestSwipeMs = 10'000;
    // Dock actions that open the application's own panels rather than act on the phone.
    static constexpr std::array<std::string_view, 9> ignoredDockActions{
        "workflow", "agent", "settings", "perf", "screenshot", "record", "pasteclip", "music", "instant"};

    using WallClock = std::function<std::chrono::system_clock::time_point()>;

    // `wallClock` names and dates the recorded workflow; unset means the system clock.
    explicit WorkflowRecorder(MainScheduler& scheduler, WallClock wallClock = {});
    WorkflowRecorder(const WorkflowRecorder&) = delete;
    WorkflowRecorder& operator=(const WorkflowRecorder&) = delete;

    // The process's recorder, on the main executor's timers.
    static WorkflowRecorder& shared();

    // Begins a new recording, discarding the previous steps.
    void start();
    // Ends the recording and returns it, named "Recording HHmmss" (local time).
    Workflow stop();

    bool isRecording() const override { return isRecording_; }
    void touchDown(double nx, double ny) override;
    void touchUp(double nx, double ny) override;
    void typed(std::string_view text) override;
    void recordKey(uint16_t usage, uint8_t mods) override;
    // A dock action performed on the phone; the application's own panels are ignored.
    void button(std::string_view name);

    // The steps of the current or last recording.
    const std::vector<WorkflowStep>& steps() const { return steps_; }
    int64_t recordedLatencyP95() const { return recordedLatencyP95_; }
    const std::string& typeBuffer() const { return typeBuffer_; }

    // After start, stop and every appended step.
    std::function<void()> onChanged;
    // After every appended step (after onChanged), with its index from 0.
    std::function<void(const WorkflowStep&, std::size_t)> onStepAdded;

private:
    void flushType();
    void noteWaitGap(int64_t minimumMs);
    void append(WorkflowStep step);
    uint64_t now() const { return scheduler_.monotonicNanoseconds(); }

    MainScheduler& scheduler_;
    WallClock wallClock_;
    bool isRecording_ = false;
    std::vector<WorkflowStep> steps_;
    uint64_t lastEventAtNs_ = 0;
    std::optional<std::pair<double, double>> downUV_;
    std::optional<uint64_t> downAtNs_;
    std::string typeBuffer_;
    ScheduledTask typeFlushWork_;
    int64_t recordedLatencyP95_ = 0;
};

} // namespace VedevaveApp
