// The workflow library over HTTP: list and save workflows, and start, watch and stop a playback the
// same way the sidebar's play command does (the playback holds the device action gate). Main
// executor only.
#pragma once

#include "VedevaveApp/LocalAPI/LocalAPIResponse.h"
#include "VedevaveApp/Workflows/WorkflowPlaybackControl.h"

#include <asio/awaitable.hpp>
#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <string>

namespace VedevaveApp {

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
