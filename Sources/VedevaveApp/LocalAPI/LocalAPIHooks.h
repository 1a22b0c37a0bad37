// The callbacks through which the local API reaches the application. The application installs them
// once at start-up (the wiring step); the server itself calls none of them, the routes, streams and
// agent handlers do. Every hook has a default that behaves like "no application": no phone, portrait,
// an empty status, no frame, the gate refused, and agent handlers that answer 503. Main executor
// only: read and called from route handlers, installed before `start`.
#pragma once

#include "ControlKit/ControlClientInterface.h"
#include "VedevaveApp/Input/TouchMap.h"

#include <asio/awaitable.hpp>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>

namespace VedevaveApp {

struct LocalAPIHooks {
    // (status, JSON object) from an agent or model handler.
    using JSONAnswer = std::pair<int, nlohmann::json>;
    // The chat, run and stop handlers receive the request's JSON object; status and logs an empty one.
    using JSONHandler = std::function<asio::awaitable<JSONAnswer>(nlohmann::json)>;

    static constexpr const char* appUnavailableText = "app unavailable";

    // The control client once a phone is ready, else null.
    std::function<ControlKit::ControlClientInterface*()> controlProvider = [] {
        return static_cast<ControlKit::ControlClientInterface*>(nullptr);
    };
    std::function<TouchMap::Mode()> touchModeProvider = [] { return TouchMap::Mode::portrait(); };
    std::function<nlohmann::json()> statusProvider = [] { return nlohmann::json::object(); };
    // (maxWidth, format) → path of a freshly written image file.
    std::function<std::optional<std::string>(int, std::string)> frameProvider = [](int, std::string) {
        return std::optional<std::string>();
    };
    // maxWidth → JPEG bytes of the latest frame.
    std::function<std::optional<std::string>(int)> rawFrameProvider = [](int) {
        return std::optional<std::string>();
    };

    // The device action gate. Without an application nothing may take it.
    std::function<bool()> beginControlAction = [] { return false; };
    std::function<void()> endControlAction = [] {};
    std::function<bool()> beginWorkflowPlayback = [] { return false; };
    std::function<void()> endWorkflowPlayback = [] {};

    JSONHandler llmStatusHandler = unavailable;
    JSONHandler llmChatHandler = unavailable;
    JSONHandler agentRunHandler = unavailable;
    JSONHandler agentStatusHandler = unavailable;
    JSONHandler agentLogsHandler = unavailable;
    JSONHandler agentStopHandler = unavailable;
    std::function<asio::awaitable<bool>()> aiRunActiveProvider = noRunActive;

private:
    static asio::awaitable<JSONAnswer> unavailable(nlohmann::json) {
        co_return JSONAnswer{503, {{"ok", false}, {"error", appUnavailableText}}};
    }
    static asio::awaitable<bool> noRunActive() { co_return false; }
};

} // namespace VedevaveApp
