// The workflow library over HTTP: list and save workflows, and start, watch and stop a playback the
// same way the sidebar's play command does (the playback holds the device action gate). Main
// executor only.
#pragma once

#include "VedevaveApp/LocalAPI/LocalAPIResponse.h"

#include <asio/awaitable.hpp>
#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <string>

namespace VedevaveApp {

// What the endpoints need from the application's playback (the sidebar controller in practice).
class WorkflowPlaybackControl {
public:
    struct Outcome {
        int status = 202; // 202 started; 404 not found; 409 busy; 503 not connected
        std::string error;
        size_t stepCount = 0;
    };
    virtual ~WorkflowPlaybackControl() = default;
    virtual Outcome playForClient(const std::string& name) = 0;
    // {"playing", "name", "step", "steps", "summary", "lastResult"}
    virtual nlohmann::json playbackStatus() const = 0;
    // True when a playback was running and has been asked to stop.
    virtual bool stopForClient() = 0;
};

class LocalAPIWorkflowEndpoints {
public:
    explicit LocalAPIWorkflowEndpoints(WorkflowPlaybackControl& playback) : playback_(playback) {}

    // The answer for a "/v1/workflows…" path, or nothing when method and path name no endpoint here.
    asio::awaitable<std::optional<LocalAPIResponse>> handle(std::string method, std::string path,
                                                           nlohmann::json body);

    // [{"name", "steps", "modified", "file"}], newest first; unreadable files are left out.
    static nlohmann::json libraryList();

private:
    WorkflowPlaybackControl& playback_;
};

} // namespace VedevaveApp
