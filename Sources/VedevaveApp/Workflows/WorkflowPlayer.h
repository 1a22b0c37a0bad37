// Replays workflows on the phone through the control client, and performs single steps and typing
// for every other actor (local API, macros, agent), so that all of them drive the phone with the
// same timings. Pauses are fixed, or, with a latency fallback, shortened or lengthened by the
// measured round trip (WorkflowTiming).
//
// Main executor: the playback task, every control call and every pause run there; `run`, `runType`
// and `pause` may be awaited from any executor and hop there first (and back after). The player
// does not take the device action gate; whoever starts it does. It must outlive its playback; the
// shared player lives for the whole process.
#pragma once

#include "ControlKit/ControlClientInterface.h"
#include "Runtime/Task.h"
#include "VedevaveApp/Input/TouchMap.h"
#include "VedevaveApp/Workflows/Workflow.h"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace VedevaveApp {

class WorkflowPlayer {
public:
    // How the player waits. It must end with Runtime::CancellationError when the awaiting task is
    // (or gets) cancelled. Production sleeps on a timer; tests advance a virtual clock.
    using PauseFunction = std::function<asio::awaitable<void>(std::chrono::nanoseconds)>;

    // Fixed pacing, in milliseconds.
    static constexpr int64_t tapLeadInMs = 40;
    static constexpr int64_t tapSettleMs = 200;
    static constexpr int64_t buttonSettleMs = 180;
    static constexpr int64_t swipeDefaultDurationMs = 280;
    static constexpr int64_t swipeDefaultSegments = 17;
    static constexpr int64_t swipeMinimumDurationMs = 120;
    static constexpr int64_t swipeShortSegments = 7;
    static constexpr int64_t swipeSegmentMs = 16;
    static constexpr int64_t keyResetPauseMs = 20;
    static constexpr int64_t keyHoldMs = 50;
    static constexpr int64_t keyAfterMs = 40;
    static constexpr int64_t typeResetPauseMs = 60;
    static constexpr int64_t typeKeyHoldMs = 45;
    static constexpr int64_t typeKeyAfterMs = 55;
    static constexpr int64_t typeEndMs = 120;
    static constexpr int64_t waitMinimumMs = 40;

    // Real timers; `home` is the executor everything runs on (the main executor).
    WorkflowPlayer();
    WorkflowPlayer(PauseFunction pause, asio::any_io_executor home);
    WorkflowPlayer(const WorkflowPlayer&) = delete;
    WorkflowPlayer& operator=(const WorkflowPlayer&) = delete;

    static WorkflowPlayer& shared();

    // Starts playing as a task on the home executor and returns at once; ignored while playing.
    // `control` must stay alive until onFinished. Stop by cancelling playbackTask().
    void play(Workflow workflow, ControlKit::ControlClientInterface& control, TouchMap::Mode touchMode);

    // Performs one step. Cancellable, it checks for cancellation first and every pause ends with
    // Runtime::CancellationError when cancelled (a held touch or key is released first); otherwise
    // cancellation is not looked at and a pause cut short counts as completed. Throws only
    // CancellationError. With a latency fallback the settle pauses follow the measured latency.
    asio::awaitable<void> run(WorkflowStep step, ControlKit::ControlClientInterface& control,
                              TouchMap::Mode mode, bool cancellable, std::optional<int64_t> latencyFallback);
    // Types `text` character by character through keyboard translation, pasting what has no key
    // when pasting is on. Throws only CancellationError (when cancellable).
    asio::awaitable<void> runType(std::string text, ControlKit::ControlClientInterface& control,
                                  bool resetBefore, bool cancellable);
    // One pause on the player's clock, with the cancellation rule of `run`.
    asio::awaitable<void> pause(std::chrono::nanoseconds duration, bool cancellable);

    bool isPlaying() const { return isPlaying_; }
    const std::optional<Workflow>& currentWorkflow() const { return currentWorkflow_; }
    const Runtime::Task& playbackTask() const { return playbackTask_; }
    int64_t playbackLatencyP95() const { return playbackLatencyP95_; }

    std::function<void(const Workflow&)> onStarted;
    // Step number from 1, step count, the step's summary.
    std::function<void(std::size_t, std::size_t, const std::string&)> onProgress;
    std::function<void(const WorkflowStep&, std::size_t)> onStepHighlight;
    std::function<void(bool)> onFinished;

private:
    asio::awaitable<void> playSteps(Workflow workflow, ControlKit::ControlClientInterface& control,
                                    TouchMap::Mode mode, std::optional<int64_t> latencyFallback);
    asio::awaitable<void> runHere(const WorkflowStep& step, ControlKit::ControlClientInterface& control,
                                  TouchMap::Mode mode, bool cancellable,
                                  std::optional<int64_t> latencyFallback);
    asio::awaitable<void> runSwipe(const WorkflowStep& step, ControlKit::ControlClientInterface& control,
                                   TouchMap::Mode mode, bool cancellable,
                                   std::optional<int64_t> latencyFallback);
    asio::awaitable<void> runKey(const WorkflowStep& step, ControlKit::ControlClientInterface& control,
                                 bool cancellable);
    asio::awaitable<void> runTypeHere(const std::string& text, ControlKit::ControlClientInterface& control,
                                      bool resetBefore, bool cancellable);
    // Key down, hold, key up; a cancellation during the hold lifts the key before it ends the step.
    asio::awaitable<void> pressKey(ControlKit::ControlClientInterface& control, uint16_t usage,
                                   const std::string& character, uint8_t mods, int64_t holdMs,
                                   bool cancellable);
    // The steps' own pauses: already on the home executor, so they never hop.
    asio::awaitable<void> pauseHere(std::chrono::nanoseconds duration, bool cancellable);
    asio::awaitable<void> pauseMs(int64_t ms, bool cancellable);
    void finishPlayback(uint64_t generation, bool success);

    PauseFunction pause_;
    asio::any_io_executor home_;
    bool isPlaying_ = false;
    std::optional<Workflow> currentWorkflow_;
    Runtime::Task playbackTask_;
    int64_t playbackLatencyP95_ = 0;
    uint64_t generation_ = 0; // tells a finished playback from the one that replaced it
};

} // namespace VedevaveApp
