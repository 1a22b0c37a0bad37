#include "VedevaveApp/Workflows/WorkflowPlayer.h"

#include "ControlKit/KeyboardTranslator.h"
#include "Runtime/Log.h"
#include "VedevaveApp/Workflows/WorkflowText.h"
#include "VedevaveApp/Workflows/WorkflowTiming.h"

#include <algorithm>
#include <asio/bind_executor.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <limits>

namespace VedevaveApp {

namespace {

using std::chrono::nanoseconds;

constexpr int64_t nanosecondsPerMillisecond = 1'000'000;

nanoseconds fromMilliseconds(int64_t ms) {
    constexpr int64_t longest = std::numeric_limits<int64_t>::max() / nanosecondsPerMillisecond;
    return nanoseconds(std::clamp<int64_t>(ms, 0, longest) * nanosecondsPerMillisecond);
}

asio::awaitable<void> timerPause(nanoseconds duration) {
    co_await Runtime::checkCancellation();
    asio::steady_timer timer(co_await asio::this_coro::executor, duration);
    try {
        co_await timer.async_wait(asio::use_awaitable);
    } catch (const std::system_error& error) {
        if (error.code() == asio::error::operation_aborted) {
            throw Runtime::CancellationError();
        }
        throw;
    }
}

TouchMap::DevicePoint mapPoint(const std::optional<double>& x, const std::optional<double>& y,
                               TouchMap::Mode mode) {
    return TouchMap::deviceCoordinates({x.value_or(0.5), y.value_or(0.5)}, mode);
}

// Hops to `home` for the duration of `work` and back to the caller's executor, rethrowing what
// `work` threw there.
template <typename Make>
asio::awaitable<void> onExecutor(asio::any_io_executor home, Make make) {
    const auto caller = co_await asio::this_coro::executor;
    const bool hops = caller != home;
    if (hops) {
        co_await asio::post(asio::bind_executor(home, asio::use_awaitable));
    }
    std::exception_ptr failure;
    try {
        auto work = make();
        co_await std::move(work);
    } catch (...) {
        failure = std::current_exception();
    }
    if (hops) {
        co_await asio::post(asio::bind_executor(caller, asio::use_awaitable));
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

} // namespace

WorkflowPlayer::WorkflowPlayer() : WorkflowPlayer(timerPause, Runtime::mainExecutor()) {}

WorkflowPlayer::WorkflowPlayer(PauseFunction pause, asio::any_io_executor home)
    : pause_(std::move(pause)), home_(std::move(home)) {}

WorkflowPlayer& WorkflowPlayer::shared() {
    static WorkflowPlayer player;
    return player;
}

void WorkflowPlayer::play(Workflow workflow, ControlKit::ControlClientInterface& control,
                          TouchMap::Mode touchMode) {
    if (isPlaying_) {
        return;
    }
    currentWorkflow_ = workflow;
    isPlaying_ = true;
    playbackLatencyP95_ = workflow.latencyP95Ms.value_or(0);
    std::optional<int64_t> latencyFallback;
    if (playbackLatencyP95_ >= 1) {
        latencyFallback = playbackLatencyP95_;
    }
    const uint64_t generation = ++generation_;
    if (onStarted) {
        onStarted(workflow);
    }
    if (generation != generation_) {
        return; // onStarted started another playback (it cannot, while playing; kept safe anyway)
    }
    auto steps = playSteps(std::move(workflow), control, touchMode, latencyFallback);
    playbackTask_ =
        Runtime::Task::start(home_, std::move(steps), [this, generation](std::exception_ptr failure) {
            finishPlayback(generation, failure == nullptr);
        });
}

asio::awaitable<void> WorkflowPlayer::playSteps(Workflow workflow,
                                                ControlKit::ControlClientInterface& control,
                                                TouchMap::Mode mode, std::optional<int64_t> latencyFallback) {
    // Starting a task from its own executor may run it at once; yielding first lets play() keep the
    // task handle before any step runs (or an empty workflow ends).
    co_await asio::post(asio::bind_executor(home_, asio::use_awaitable));
    const std::size_t count = workflow.steps.size();
    for (std::size_t i = 0; i < count; ++i) {
        co_await Runtime::checkCancellation();
        const WorkflowStep& step = workflow.steps[i];
        if (onStepHighlight) {
            onStepHighlight(step, i);
        }
        if (onProgress) {
            onProgress(i + 1, count, step.summary());
        }
        co_await runHere(step, control, mode, true, latencyFallback);
    }
}

void WorkflowPlayer::finishPlayback(uint64_t generation, bool success) {
    if (generation != generation_) {
        return;
    }
    isPlaying_ = false;
    playbackTask_ = Runtime::Task();
    if (onFinished) {
        onFinished(success);
    }
    if (generation == generation_) {
        currentWorkflow_.reset();
    }
}

asio::awaitable<void> WorkflowPlayer::pause(nanoseconds duration, bool cancellable) {
    auto make = [&]() { return pauseHere(duration, cancellable); };
    auto work = onExecutor(home_, make);
    co_await std::move(work);
}

asio::awaitable<void> WorkflowPlayer::pauseHere(nanoseconds duration, bool cancellable) {
    if (duration.count() <= 0) {
        if (cancellable) {
            co_await Runtime::checkCancellation();
        }
        co_return;
    }
    if (cancellable) {
        auto waiting = pause_(duration);
        co_await std::move(waiting);
        co_return;
    }
    try {
        auto waiting = pause_(duration);
        co_await std::move(waiting);
    } catch (const Runtime::CancellationError&) {
        // Not cancellable: a pause cut short counts as completed.
    }
}

asio::awaitable<void> WorkflowPlayer::pauseMs(int64_t ms, bool cancellable) {
    co_await pauseHere(fromMilliseconds(ms), cancellable);
}

asio::awaitable<void> WorkflowPlayer::run(WorkflowStep step, ControlKit::ControlClientInterface& control,
                                          TouchMap::Mode mode, bool cancellable,
                                          std::optional<int64_t> latencyFallback) {
    auto make = [&]() { return runHere(step, control, mode, cancellable, latencyFallback); };
    auto work = onExecutor(home_, make);
    co_await std::move(work);
}

asio::awaitable<void> WorkflowPlayer::runType(std::string text, ControlKit::ControlClientInterface& control,
                                              bool resetBefore, bool cancellable) {
    auto make = [&]() { return runTypeHere(text, control, resetBefore, cancellable); };
    auto work = onExecutor(home_, make);
    co_await std::move(work);
}

asio::awaitable<void> WorkflowPlayer::runHere(const WorkflowStep& step,
                                              ControlKit::ControlClientInterface& control,
                                              TouchMap::Mode mode, bool cancellable,
                                              std::optional<int64_t> latencyFallback) {
    using Kind = WorkflowStep::Kind;
    if (cancellable) {
        co_await Runtime::checkCancellation();
    }
    switch (step.kind) {
    case Kind::tap: {
        const auto point = mapPoint(step.x, step.y, mode);
        control.keyboardReset();
        co_await pauseMs(tapLeadInMs, cancellable);
        control.tap(point.x, point.y);
        co_await pauseMs(latencyFallback ? WorkflowTiming::postTapSettle(latencyFallback) : tapSettleMs,
                         cancellable);
        break;
    }
    case Kind::swipe:
        co_await runSwipe(step, control, mode, cancellable, latencyFallback);
        break;
    case Kind::type: {
        const std::string text = step.text.value_or("");
        co_await runTypeHere(text, control, true, cancellable);
        break;
    }
    case Kind::key:
        co_await runKey(step, control, cancellable);
        break;
    case Kind::button:
        if (step.name == "apps") {
            control.swipeUp();
        } else if (step.name == "cc") {
            control.swipeDown();
        } else if (step.name) {
            control.button(*step.name, "press");
        }
        co_await pauseMs(latencyFallback ? WorkflowTiming::postButtonSettle(latencyFallback) : buttonSettleMs,
                         cancellable);
        break;
    case Kind::wait:
        co_await pauseMs(latencyFallback ? WorkflowTiming::playbackWait(step.ms.value_or(0), latencyFallback)
                                         : std::max<int64_t>(step.ms.value_or(waitMinimumMs), waitMinimumMs),
                         cancellable);
        break;
    }
}

asio::awaitable<void> WorkflowPlayer::runSwipe(const WorkflowStep& step,
                                               ControlKit::ControlClientInterface& control,
                                               TouchMap::Mode mode, bool cancellable,
                                               std::optional<int64_t> latencyFallback) {
    const auto start = mapPoint(step.x, step.y, mode);
    const auto end = mapPoint(step.x1, step.y1, mode);
    int64_t durationMs = swipeDefaultDurationMs;
    int64_t segments = swipeDefaultSegments;
    if (step.ms) {
        durationMs = std::max(*step.ms, swipeMinimumDurationMs);
        segments = *step.ms < swipeMinimumDurationMs ? swipeShortSegments : *step.ms / swipeSegmentMs;
    }
    const nanoseconds segmentPause(fromMilliseconds(durationMs).count() / segments);

    control.touch("contact", start.x, start.y);
    TouchMap::DevicePoint last = start;
    bool wasCancelled = false;
    try {
        for (int64_t k = 1; k <= segments; ++k) {
            if (cancellable) {
                co_await Runtime::checkCancellation();
            }
            last.x = static_cast<int32_t>(start.x + static_cast<double>(k) / static_cast<double>(segments) *
                                                        static_cast<double>(end.x - start.x));
            last.y = static_cast<int32_t>(start.y + static_cast<double>(k) / static_cast<double>(segments) *
                                                        static_cast<double>(end.y - start.y));
            control.touch("contact", last.x, last.y);
            co_await pauseHere(segmentPause, cancellable);
        }
    } catch (const Runtime::CancellationError&) {
        wasCancelled = true;
    }
    if (wasCancelled) {
        // Never leave a finger on the glass.
        control.touch("release", last.x, last.y);
        throw Runtime::CancellationError();
    }
    control.touch("release", end.x, end.y);
    co_await pauseMs(latencyFallback ? WorkflowTiming::postTapSettle(latencyFallback) : tapSettleMs,
                     cancellable);
}

asio::awaitable<void> WorkflowPlayer::runKey(const WorkflowStep& step,
                                             ControlKit::ControlClientInterface& control, bool cancellable) {
    const int64_t usage = step.usage.value_or(0);
    const int64_t mods = step.mods.value_or(0);
    if (usage < 0 || usage > 65'535 || mods < 0 || mods > 255) {
        Runtime::logLine("WorkflowPlayer: key step skipped: usage " + std::to_string(usage) +
                         " or modifiers " + std::to_string(mods) + " out of range");
        co_return;
    }
    if (mods == 0) {
        control.keyboardReset();
        co_await pauseMs(keyResetPauseMs, cancellable);
    }
    if (cancellable) {
        co_await Runtime::checkCancellation();
    }
    const std::string noCharacter;
    co_await pressKey(control, static_cast<uint16_t>(usage), noCharacter, static_cast<uint8_t>(mods),
                      keyHoldMs, cancellable);
    control.keyboardReset();
    co_await pauseMs(keyAfterMs, cancellable);
}

asio::awaitable<void> WorkflowPlayer::pressKey(ControlKit::ControlClientInterface& control, uint16_t usage,
                                               const std::string& character, uint8_t mods, int64_t holdMs,
                                               bool cancellable) {
    control.key(true, usage, character, mods);
    bool wasCancelled = false;
    try {
        co_await pauseMs(holdMs, cancellable);
    } catch (const Runtime::CancellationError&) {
        wasCancelled = true;
    }
    control.key(false, usage, character, mods);
    if (wasCancelled) {
        throw Runtime::CancellationError();
    }
}

asio::awaitable<void> WorkflowPlayer::runTypeHere(const std::string& text,
                                                  ControlKit::ControlClientInterface& control,
                                                  bool resetBefore, bool cancellable) {
    if (cancellable) {
        co_await Runtime::checkCancellation();
    }
    if (resetBefore) {
        control.keyboardReset();
        co_await pauseMs(typeResetPauseMs, cancellable);
    }
    std::vector<std::string> characters;
    WorkflowText::forEachCharacter(text, [&](std::string_view character) {
        characters.emplace_back(character);
        return true;
    });
    for (const std::string& character : characters) {
        if (cancellable) {
            co_await Runtime::checkCancellation();
        }
        if (const auto chord = ControlKit::KeyboardTranslator::resolve(character, 0)) {
            co_await pressKey(control, chord->usage, character, chord->mods, typeKeyHoldMs, cancellable);
        } else if (ControlKit::KeyboardTranslator::pasteUnmapped()) {
            for (const auto& paste : ControlKit::KeyboardTranslator::pasteChords(character)) {
                if (cancellable) {
                    co_await Runtime::checkCancellation();
                }
                co_await pressKey(control, paste.usage, character, paste.mods, typeKeyHoldMs, cancellable);
            }
            control.keyboardReset();
        }
        // A character that can be neither typed nor pasted is skipped, keeping the rhythm.
        co_await pauseMs(typeKeyAfterMs, cancellable);
    }
    co_await pauseMs(typeEndMs, cancellable);
}

} // namespace VedevaveApp
