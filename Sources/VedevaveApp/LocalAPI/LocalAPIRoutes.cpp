#include "VedevaveApp/LocalAPI/LocalAPIRoutes.h"

#include "Platform/Paths.h"
#include "VedevaveApp/LocalAPI/LocalAPIBatch.h"
#include "VedevaveApp/LocalAPI/LocalAPIBody.h"
#include "VedevaveApp/LocalAPI/LocalAPIMacros.h"
#include "VedevaveApp/LocalAPI/LocalAPIWorkflowEndpoints.h"
#include "VedevaveApp/Workflows/WorkflowText.h"

#include <algorithm>
#include <fstream>
#include <sstream>

using nlohmann::json;

namespace VedevaveApp {

namespace {

namespace Body = LocalAPIBody;

// No copy is published online yet; the path inside the source tree is the reference.
constexpr const char* docsURL = "docs/API.md";
constexpr size_t largestDocsBytes = 4 * 1024 * 1024;

bool isOneOf(const std::string& path, std::initializer_list<const char*> paths) {
    return std::any_of(paths.begin(), paths.end(), [&](const char* candidate) { return path == candidate; });
}

LocalAPIResponse answer(int status, json object) { return LocalAPIResponse::json(status, object); }

LocalAPIResponse ok(json object) {
    object["ok"] = true;
    return answer(200, std::move(object));
}

} // namespace

LocalAPIRoutes::LocalAPIRoutes(const LocalAPIHooks& hooks, WorkflowPlayer& player,
                               LocalAPIWorkflowEndpoints* workflows)
    : hooks_(hooks), player_(player), workflows_(workflows) {}

std::string LocalAPIRoutes::rewrittenPath(const std::string& path) {
    std::string rewritten = path;
    if (rewritten.size() >= 2 && rewritten.back() == '/') {
        rewritten.pop_back();
    }
    for (const std::string prefix : {"/v1/control/", "/control/"}) {
        if (rewritten.rfind(prefix, 0) == 0) {
            return "/v1/" + rewritten.substr(prefix.size());
        }
    }
    return rewritten;
}

json LocalAPIRoutes::helpPayload() {
    return {{"ok", true},
            {"api", "vedevave-local"},
            {"version", 3},
            {"engine", "Vedevave HID control"},
            {"cli", "./tools/vedevave <cmd>"},
            {"docs", "GET /v1/docs · docs/API.md"},
            {"namespaces",
             {{"control", "POST /v1/control/{tap,swipe,type,key,button,home,wait,spotlight,clear,open,do}"},
              {"vision", "GET /v1/vision/frame"}}},
            {"endpoints", {"GET  /v1/vision/frame", "POST /v1/control/*"}},
            {"legacy", {"/v1/frame", "/v1/tap", "/v1/home", "/v1/open", "/v1/do"}},
            {"pro", "Record a path once with the workflow recorder, replay it with POST /v1/workflows/run"}};
}

std::vector<std::filesystem::path> LocalAPIRoutes::docsCandidates() {
    std::vector<std::filesystem::path> candidates;
    std::error_code error;
    const auto executable = std::filesystem::canonical("/proc/self/exe", error);
    if (!error) {
        // Walking up from the executable: build/bin/vedevave finds the source tree's docs/.
        std::filesystem::path folder = executable.parent_path();
        for (int level = 0; level < 8; ++level) {
            candidates.push_back(folder / "docs" / "API.md");
            candidates.push_back(folder / "share" / "doc" / "vedevave" / "API.md");
            if (folder.parent_path() == folder) {
                break;
            }
            folder = folder.parent_path();
        }
    }
#ifdef VEDEVAVE_SOURCE_DIR
    candidates.push_back(std::filesystem::path(VEDEVAVE_SOURCE_DIR) / "docs" / "API.md");
#endif
    candidates.push_back("/usr/share/doc/vedevave/API.md");
    candidates.push_back(Platform::Paths::home() / "Documents" / "Vedevave" / "docs" / "API.md");
    return candidates;
}

json LocalAPIRoutes::docsPayload(const std::vector<std::filesystem::path>& candidates) {
    for (const auto& candidate : candidates) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(candidate, error) ||
            std::filesystem::file_size(candidate, error) > largestDocsBytes || error) {
            continue;
        }
        std::ifstream file(candidate, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        const std::string markdown = text.str();
        if (!markdown.empty() && LocalAPIRequestText::isValidUTF8(markdown)) {
            return {{"ok", true}, {"path", candidate.string()}, {"markdown", markdown}};
        }
    }
    return {{"ok", true}, {"hint", "See docs/API.md in the Vedevave repo"}, {"url", docsURL}};
}

asio::awaitable<LocalAPIResponse> LocalAPIRoutes::route(LocalAPIRequest request) {
    const std::string path = rewrittenPath(request.path);
    const std::string& method = request.method;
    if (method == "GET" && isOneOf(path, {"/v1", "/v1/help", "/help"})) {
        co_return answer(200, helpPayload());
    }
    if (method == "GET" && isOneOf(path, {"/v1/status", "/status"})) {
        json status = hooks_.statusProvider();
        if (!status.is_object()) {
            status = json::object();
        }
        status["api"] = "vedevave-local";
        status["version"] = 3;
        status["ok"] = true;
        co_return answer(200, status);
    }
    if (method == "GET" && isOneOf(path, {"/v1/docs", "/docs"})) {
        co_return answer(200, docsPayload(docsCandidates()));
    }
    const json body = Body::parseObject(request.body);
    if (method == "GET" && isOneOf(path, {"/v1/frame", "/frame", "/v1/screenshot", "/v1/vision/frame", "/vision/frame"})) {
        const auto found = request.query.find("format");
        const std::string format = found == request.query.end() ? "jpg" : found->second;
        int maxWidth = 0;
        if (auto width = request.query.find("maxwidth"); width != request.query.end()) {
            maxWidth = std::max(0, std::atoi(width->second.c_str()));
        }
        if (auto file = hooks_.frameProvider(maxWidth, format)) {
            co_return ok({{"path", *file}, {"format", format}});
        }
        co_return LocalAPIResponse::error(503, "no live frame");
    }
    if (workflows_ && path.rfind("/v1/workflows", 0) == 0) {
        if (auto handled = co_await workflows_->handle(method, path, body)) {
            co_return *handled;
        }
    }
    ControlKit::ControlClientInterface* client = hooks_.controlProvider();
    if (!client) {
        co_return LocalAPIResponse::error(503, "not connected");
    }
    const TouchMap::Mode mode = hooks_.touchModeProvider();
    if (method == "POST") {
        bool matched = false;
        LocalAPIResponse response = co_await control(path, body, request.body, *client, mode, &matched);
        if (matched) {
            co_return response;
        }
    }
    co_return answer(404, {{"ok", false}, {"error", "not found"}, {"path", request.path}, {"hint", "GET /v1"}});
}

asio::awaitable<LocalAPIResponse> LocalAPIRoutes::control(const std::string& path, const json& body,
                                                          const std::string& rawBody,
                                                          ControlKit::ControlClientInterface& client,
                                                          TouchMap::Mode mode, bool* matched) {
    *matched = true;
    // Control actions ignore the player's errors: the answer reports that the action was issued.
    auto runStep = [&](WorkflowStep step) -> asio::awaitable<void> {
        try {
            co_await player_.run(std::move(step), client, mode, false, std::nullopt);
        } catch (const std::exception&) {
        }
    };
    if (isOneOf(path, {"/v1/home", "/home"})) {
        co_await LocalAPIMacros::goHome(client, mode, player_);
        co_return ok({{"action", "home"}});
    }
    if (isOneOf(path, {"/v1/wait", "/wait"})) {
        const int64_t ms = Body::waitMs(body);
        co_await LocalAPIMacros::sleepMs(ms, player_);
        co_return ok({{"action", "wait"}, {"ms", ms}});
    }
    if (isOneOf(path, {"/v1/spotlight", "/spotlight"})) {
        const bool home = Body::boolean(body, "home").value_or(true);
        co_await LocalAPIMacros::openSpotlight(client, mode, home, player_);
        co_return ok({{"action", "spotlight"}, {"home", home}});
    }
    if (isOneOf(path, {"/v1/clear", "/clear", "/v1/clear_field", "/clear_field"})) {
        const int backspaces = static_cast<int>(std::clamp<int64_t>(Body::integer(body, "backspaces").value_or(28), 0, 60));
        co_await LocalAPIMacros::clearField(client, backspaces, player_);
        co_return ok({{"action", "clear"}, {"backspaces", backspaces}});
    }
    if (isOneOf(path, {"/v1/open", "/open", "/v1/open_app", "/open_app"})) {
        auto name = Body::text(body, "app");
        if (!name) {
            name = Body::text(body, "name");
        }
        const std::string app = Body::trimmed(name.value_or(""));
        if (app.empty()) {
            co_return LocalAPIResponse::error(400, "app required");
        }
        co_await LocalAPIMacros::openApp(app, client, mode, player_);
        co_return ok({{"action", "open"}, {"app", app}});
    }
    if (isOneOf(path, {"/v1/do", "/do"})) {
        auto [status, result] = co_await LocalAPIBatch::runDo(body, rawBody, client, mode, player_);
        co_return answer(status, result);
    }
    if (isOneOf(path, {"/v1/tap", "/tap"})) {
        const double x = Body::real(body, "x").value_or(0.5);
        const double y = Body::real(body, "y").value_or(0.5);
        co_await runStep(WorkflowStep::tap(x, y));
        co_return ok({{"action", "tap"}, {"x", x}, {"y", y}});
    }
    if (isOneOf(path, {"/v1/swipe", "/swipe"})) {
        const double x = Body::real(body, "x").value_or(0.5);
        const int64_t ms = std::clamp<int64_t>(Body::integer(body, "ms").value_or(300), 0, Body::longestWaitMs);
        co_await runStep(WorkflowStep::swipe(x, Body::real(body, "y").value_or(0.8), Body::real(body, "x1").value_or(x),
                                             Body::real(body, "y1").value_or(0.2), ms));
        co_return ok({{"action", "swipe"}});
    }
    if (isOneOf(path, {"/v1/type", "/type"})) {
        const std::string text = Body::text(body, "text").value_or("");
        auto reset = Body::boolean(body, "resetBefore");
        const bool resetBefore = reset ? *reset : Body::boolean(body, "reset_before").value_or(true);
        try {
            co_await player_.runType(text, client, resetBefore, false);
        } catch (const std::exception&) {
        }
        co_return ok({{"action", "type"}, {"chars", WorkflowText::characterCount(text)}});
    }
    if (isOneOf(path, {"/v1/key", "/key"})) {
        std::string error;
        auto key = Body::keyValues(body, &error);
        if (!key) {
            co_return LocalAPIResponse::error(400, error);
        }
        co_await runStep(WorkflowStep::key(key->usage, key->mods));
        co_return ok({{"action", "key"}});
    }
    if (isOneOf(path, {"/v1/keyboard/reset", "/keyboard/reset"})) {
        client.keyboardReset();
        co_return ok({{"action", "keyboard_reset"}});
    }
    if (isOneOf(path, {"/v1/button", "/button"})) {
        const std::string name = Body::text(body, "name").value_or("home");
        co_await runStep(WorkflowStep::button(name));
        co_return ok({{"action", "button"}, {"name", name}});
    }
    *matched = false;
    co_return LocalAPIResponse::error(404, "not found");
}

} // namespace VedevaveApp
