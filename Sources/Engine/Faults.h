// Fault switches for recovery tests (ARCHITECTURE.md, "What the simulated engine adds"): set at
// launch from VEDEVAVE_SIM_* variables and at run time through POST /debug/fault. Io thread only.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace Engine {

enum class OpenAppFailure { none, notFound404, unavailable503 };

// The launch-time settings (all off by default).
struct FaultSettings {
    std::optional<int64_t> exitAfterMs; // end the process this long after start
    int exitStatus = 1;
    int64_t statusDelayMs = 0;       // /status answers 503 until this long after start
    bool skipMetadata = false;       // never write the metadata file
    int64_t metadataDelayMs = 0;     // write it this long after start instead of at once
    int64_t captureStallAfterMs = 0; // the capture channel stalls from this long after start ...
    int64_t captureStallMs = 0;      // ... for this long (0: no stall)
    int64_t videoStallMs = 0;        // the video socket sends nothing for this long after start
    OpenAppFailure openAppFailure = OpenAppFailure::none;
};

class Faults {
public:
    using Clock = std::chrono::steady_clock;
    // Called when an exit is requested: (delay in ms, exit status). Installed by EngineApp.
    using ExitScheduler = std::function<void(int64_t delayMs, int status)>;

    Faults(const FaultSettings& settings, Clock::time_point start);

    void setExitScheduler(ExitScheduler scheduler) { scheduleExit_ = std::move(scheduler); }
    // Schedules the launch-time exit fault, if any.
    void armLaunchFaults();

    bool isStatusReady(Clock::time_point now) const { return now >= statusReadyAt_; }
    bool isCaptureStalled(Clock::time_point now) const {
        return now >= captureStallFrom_ && now < captureStallUntil_;
    }
    bool isVideoStalled(Clock::time_point now) const {
        return now >= videoStallFrom_ && now < videoStallUntil_;
    }
    OpenAppFailure openAppFailure() const { return openAppFailure_; }
    bool skipsMetadata() const { return settings_.skipMetadata; }
    int64_t metadataDelayMs() const { return settings_.metadataDelayMs; }

    // Applies a POST /debug/fault body. Keys (all optional): "exitAfterMs" + "exitStatus",
    // "statusDelayMs", "captureStallMs", "videoStallMs", "openApp" ("404", "503" or "none"),
    // "clear" (true: switch every run-time fault off). Returns an error text for a bad body.
    std::optional<std::string> apply(const nlohmann::json& body, Clock::time_point now);

    nlohmann::json toJson(Clock::time_point now) const;

private:
    FaultSettings settings_;
    Clock::time_point start_;
    Clock::time_point statusReadyAt_;
    Clock::time_point captureStallFrom_;
    Clock::time_point captureStallUntil_;
    Clock::time_point videoStallFrom_;
    Clock::time_point videoStallUntil_;
    OpenAppFailure openAppFailure_ = OpenAppFailure::none;
    std::optional<int> pendingExitStatus_;
    ExitScheduler scheduleExit_;
};

std::optional<OpenAppFailure> parseOpenAppFailure(const std::string& text);
const char* openAppFailureName(OpenAppFailure failure);

} // namespace Engine
