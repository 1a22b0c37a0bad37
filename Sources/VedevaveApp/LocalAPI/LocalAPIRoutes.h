// The route table of the local API: help, status, documentation and frame metadata without a phone,
// and the control endpoints (tap, swipe, type, key, button, wait, the macros and batches) once one
// is ready, plus the workflow library endpoints. Every control action runs through the shared
// workflow player with fixed pacing and finishes before the answer. Main executor only.
#pragma once

#include "VedevaveApp/LocalAPI/LocalAPIHooks.h"
#include "VedevaveApp/LocalAPI/LocalAPIRequest.h"
#include "VedevaveApp/LocalAPI/LocalAPIResponse.h"
#include "VedevaveApp/Workflows/WorkflowPlayer.h"

#include <asio/awaitable.hpp>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace VedevaveApp {

class LocalAPIWorkflowEndpoints;

class LocalAPIRoutes {
public:
    // `hooks` and `player` must outlive the routes; `workflows` may be null (no workflow endpoints).
    LocalAPIRoutes(const LocalAPIHooks& hooks, WorkflowPlayer& player, LocalAPIWorkflowEndpoints* workflows);

    asio::awaitable<LocalAPIResponse> route(LocalAPIRequest request);

    static nlohmann::json helpPayload();
    // The first readable, non-empty UTF-8 file of the candidates, as {"ok", "path", "markdown"}.
    static nlohmann::json docsPayload(const std::vector<std::filesystem::path>& candidates);
    // Where docs/API.md may be: beside the executable's folder and above it (a build inside the
    // source tree), the source tree itself, the installed share/doc/vedevave, the user's documents.
    static std::vector<std::filesystem::path> docsCandidates();
    // Drops one trailing "/" and maps "/v1/control/…" and "/control/…" to "/v1/…".
    static std::string rewrittenPath(const std::string& path);

private:
    asio::awaitable<LocalAPIResponse> control(const std::string& path, const nlohmann::json& body,
                                              const std::string& rawBody, ControlKit::ControlClientInterface& control,
                                              TouchMap::Mode mode, bool* matched);

    const LocalAPIHooks& hooks_;
    WorkflowPlayer& player_;
    LocalAPIWorkflowEndpoints* workflows_;
};

} // namespace VedevaveApp
