#include "VedevaveApp/LocalAPI/LocalAPIWorkflowEndpoints.h"

#include "Runtime/Clock.h"
#include "VedevaveApp/LocalAPI/LocalAPIBody.h"
#include "VedevaveApp/Workflows/Workflow.h"
#include "VedevaveApp/Workflows/WorkflowSidebarController.h"
#include "VedevaveApp/Workflows/WorkflowStore.h"

#include <chrono>
#include <filesystem>

using nlohmann::json;

namespace VedevaveApp {

namespace {
std::string modifiedTime(const std::filesystem::path& file) {
    std::error_code error;
    const auto written = std::filesystem::last_write_time(file, error);
    if (error) {
        return "";
    }
    // libstdc++ 12 has no clock_cast; both clocks tick in real time, so the offset carries over.
    const auto system = std::chrono::system_clock::now() +
                        std::chrono::duration_cast<std::chrono::system_clock::duration>(
                            written - std::filesystem::file_time_type::clock::now());
    return Runtime::iso8601(system);
}
} // namespace

json LocalAPIWorkflowEndpoints::libraryList() {
    json list = json::array();
    for (const auto& file : WorkflowStore::list()) {
        try {
            const Workflow workflow = WorkflowStore::load(file);
            list.push_back({{"name", workflow.name},
                            {"steps", workflow.steps.size()},
                            {"modified", modifiedTime(file)},
                            {"file", file.filename().string()}});
        } catch (const std::exception&) {
            // a file that does not load is not a workflow of the library
        }
    }
    return list;
}

asio::awaitable<std::optional<LocalAPIResponse>> LocalAPIWorkflowEndpoints::handle(std::string method,
                                                                                  std::string path, json body) {
    if (path == "/v1/workflows" && method == "GET") {
        json list = libraryList();
        const size_t count = list.size();
        co_return LocalAPIResponse::json(200, {{"ok", true}, {"workflows", std::move(list)}, {"count", count}});
    }
    // "/v1/workflows/save" is the command-line client's name for the same request.
    if ((path == "/v1/workflows" || path == "/v1/workflows/save") && method == "POST") {
        try {
            const Workflow workflow = decodeWorkflow(body.dump());
            const auto file = WorkflowStore::save(workflow);
            co_return LocalAPIResponse::json(201, {{"ok", true},
                                                   {"name", workflow.name},
                                                   {"steps", workflow.steps.size()},
                                                   {"file", file.filename().string()}});
        } catch (...) {
            co_return LocalAPIResponse::error(400, describeWorkflowFailure(std::current_exception()));
        }
    }
    if (path == "/v1/workflows/run" && method == "POST") {
        const std::string name = LocalAPIBody::trimmed(LocalAPIBody::text(body, "name").value_or(""));
        if (name.empty()) {
            co_return LocalAPIResponse::error(400, "name required");
        }
        const auto outcome = playback_.playForClient(name);
        if (outcome.status != 202) {
            co_return LocalAPIResponse::error(outcome.status, outcome.error);
        }
        co_return LocalAPIResponse::json(
            202, {{"ok", true}, {"action", "workflow_run"}, {"name", name}, {"steps", outcome.stepCount}});
    }
    if (path == "/v1/workflows/status" && method == "GET") {
        json status = playback_.playbackStatus();
        status["ok"] = true;
        co_return LocalAPIResponse::json(200, status);
    }
    if (path == "/v1/workflows/stop" && method == "POST") {
        const bool stopping = playback_.stopForClient();
        co_return LocalAPIResponse::json(200, {{"ok", true}, {"action", "workflow_stop"}, {"stopping", stopping}});
    }
    co_return std::nullopt;
}

} // namespace VedevaveApp
