// Starting, watching and stopping a workflow playback on behalf of a client (the local API), with
// the same checks as the sidebar's play command. Main executor only.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>

namespace VedevaveApp {

class WorkflowPlaybackControl {
public:
    struct Outcome {
        int status = 202; // 202 started; 404 not found; 409 busy; 503 not connected
        std::string error;
        std::size_t stepCount = 0;
    };
    virtual ~WorkflowPlaybackControl() = default;
    virtual Outcome playForClient(const std::string& name) = 0;
    // {"playing", "name", "step", "steps", "summary", "lastResult"}
    virtual nlohmann::json playbackStatus() const = 0;
    // True when a playback was running and has been asked to stop.
    virtual bool stopForClient() = 0;
};

} // namespace VedevaveApp
