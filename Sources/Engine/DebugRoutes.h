// The simulator's debug endpoints (ARCHITECTURE.md): GET /debug/state, the oracle tests read;
// POST /debug/fault, the run-time fault switches; GET /debug/screenshot.png, the current picture.
// Io thread only.
#pragma once

#include "Engine/DebugState.h"
#include "Engine/EngineOptions.h"
#include "Engine/Faults.h"
#include "Engine/FrameProducer.h"
#include "Engine/PhoneModel.h"
#include "Engine/Router.h"

#include <chrono>
#include <functional>

namespace Engine {

class DebugRoutes {
public:
    DebugRoutes(const EngineOptions& options, const PhoneModel& model, const DebugState& debug,
                Faults& faults, FrameProducer& producer);

    void install(Router& router);
    // Adds the frame clock's figures ("clock") to the state; installed by EngineApp.
    void setClockReport(std::function<nlohmann::json()> report) { clockReport_ = std::move(report); }

    // Query parameters "touches", "keys", "buttons": how many of the latest entries to list
    // (default 64 each; the engine keeps the last 16384 touches, 4096 keys, 1024 buttons).
    HttpResponse state(const HttpRequest& request) const;
    HttpResponse fault(const HttpRequest& request);
    HttpResponse screenshot(const HttpRequest& request);

private:
    const EngineOptions& options_;
    const PhoneModel& model_;
    const DebugState& debug_;
    Faults& faults_;
    FrameProducer& producer_;
    std::chrono::steady_clock::time_point start_;
    std::function<nlohmann::json()> clockReport_;
};

} // namespace Engine
