#include "VedevaveApp/Workflows/WorkflowRecorder.h"

#include "Runtime/Executors.h"
#include "VedevaveApp/Workflows/WorkflowText.h"
#include "VedevaveApp/Workflows/WorkflowTiming.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <utility>

namespace VedevaveApp {

namespace {

constexpr uint64_t nanosecondsPerMillisecond = 1'000'000;

std::string localTime(std::chrono::system_clock::time_point when, const char* format) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[64];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

} // namespace

WorkflowRecorder::WorkflowRecorder(MainScheduler& scheduler, WallClock wallClock)
    : scheduler_(scheduler), wallClock_(std::move(wallClock)) {
    if (!wallClock_) {
        wallClock_ = [] { return std::chrono::system_clock::now(); };
    }
}

WorkflowRecorder& WorkflowRecorder::shared() {
    static AsioMainScheduler scheduler(Runtime::mainContext());
    static WorkflowRecorder recorder(scheduler);
    return recorder;
}

void WorkflowRecorder::start() {
    flushType();
    steps_.clear();
    isRecording_ = true;
    lastEventAtNs_ = now();
    recordedLatencyP95_ = WorkflowTiming::roundTripMilliseconds(std::nullopt);
    downUV_.reset();
    downAtNs_.reset();
    if (onChanged) {
        onChanged();
    }
}

Workflow WorkflowRecorder::stop() {
    flushType();
    isRecording_ = false;
    const auto when = wallClock_();
    std::optional<int64_t> latency;
    if (recordedLatencyP95_ >= 1) {
        latency = recordedLatencyP95_;
    }
    Workflow workflow("Recording " + localTime(when, "%H%M%S"), steps_, latency, when);
    if (onChanged) {
        onChanged();
    }
    return workflow;
}

void WorkflowRecorder::append(WorkflowStep step) {
    if (steps_.size() >= stepLimit) {
        return;
    }
    steps_.push_back(std::move(step));
    if (onChanged) {
        onChanged();
    }
    if (onStepAdded) {
        // A copy: the callback may start a new recording, which clears the list.
        const WorkflowStep added = steps_.back();
        onStepAdded(added, steps_.size() - 1);
    }
}

void WorkflowRecorder::flushType() {
    typeFlushWork_.cancel();
    if (!typeBuffer_.empty()) {
        append(WorkflowStep::type(std::exchange(typeBuffer_, {})));
    }
}

void WorkflowRecorder::noteWaitGap(int64_t minimumMs) {
    const uint64_t current = now();
    const uint64_t elapsedNs = current > lastEventAtNs_ ? current - lastEventAtNs_ : 0;
    const auto gapMs = static_cast<int64_t>(elapsedNs / nanosecondsPerMillisecond);
    const int64_t compensated = WorkflowTiming::normalizeRecordedGap(gapMs, recordedLatencyP95_);
    if (compensated >= minimumMs) {
        append(WorkflowStep::wait(std::min(compensated, longestPauseMs)));
    }
    lastEventAtNs_ = current;
}

void WorkflowRecorder::touchDown(double nx, double ny) {
    if (!isRecording_) {
        return;
    }
    flushType();
    noteWaitGap(gapMinimumMs);
    downUV_ = {nx, ny};
    downAtNs_ = now();
}

void WorkflowRecorder::touchUp(double nx, double ny) {
    if (!isRecording_ || !downUV_) {
        return;
    }
    const auto [ox, oy] = *downUV_;
    const uint64_t current = now();
    const uint64_t heldNs = downAtNs_ && current > *downAtNs_ ? current - *downAtNs_ : 0;
    const bool isTap = std::abs(nx - ox) + std::abs(ny - oy) < tapDistance &&
                       heldNs < static_cast<uint64_t>(std::chrono::nanoseconds(tapDuration).count());
    if (isTap) {
        append(WorkflowStep::tap(ox, oy));
    } else {
        const uint64_t durationNs =
            std::max(heldNs, static_cast<uint64_t>(std::chrono::nanoseconds(shortestSwipe).count()));
        const auto ms =
            std::min(static_cast<int64_t>(durationNs / nanosecondsPerMillisecond), longestSwipeMs);
        append(WorkflowStep::swipe(ox, oy, nx, ny, ms));
    }
    downUV_.reset();
    downAtNs_.reset();
    lastEventAtNs_ = current;
}

void WorkflowRecorder::typed(std::string_view text) {
    if (!isRecording_ || text.empty()) {
        return;
    }
    // A pause within typing becomes a wait step at once, ahead of the characters still buffered.
    noteWaitGap(typedGapMinimumMs);
    const std::string incoming = WorkflowText::prefix(text, typeBufferLimit, typeBufferByteLimit);
    if (WorkflowText::characterCount(typeBuffer_) + WorkflowText::characterCount(incoming) >
            typeBufferLimit ||
        typeBuffer_.size() + incoming.size() > typeBufferByteLimit) {
        flushType();
    }
    typeBuffer_ += incoming;
    // Joining can merge clusters (a combining mark typed after its base); the cut keeps the limit.
    if (typeBuffer_.size() > typeBufferByteLimit ||
        WorkflowText::characterCount(typeBuffer_) > typeBufferLimit) {
        typeBuffer_ = WorkflowText::prefix(typeBuffer_, typeBufferLimit, typeBufferByteLimit);
    }
    typeFlushWork_ = scheduler_.schedule(typeFlushDelay, [this] { flushType(); });
    lastEventAtNs_ = now();
}

void WorkflowRecorder::recordKey(uint16_t usage, uint8_t mods) {
    if (!isRecording_) {
        return;
    }
    flushType();
    noteWaitGap(gapMinimumMs);
    append(WorkflowStep::key(usage, mods));
    lastEventAtNs_ = now();
}

void WorkflowRecorder::button(std::string_view name) {
    if (!isRecording_ ||
        std::find(ignoredDockActions.begin(), ignoredDockActions.end(), name) != ignoredDockActions.end()) {
        return;
    }
    flushType();
    noteWaitGap(gapMinimumMs);
    append(WorkflowStep::button(std::string(name)));
    lastEventAtNs_ = now();
}

} // namespace VedevaveApp
