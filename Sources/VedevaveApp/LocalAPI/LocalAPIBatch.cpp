#include "VedevaveApp/LocalAPI/LocalAPIBatch.h"

#include "VedevaveApp/LocalAPI/LocalAPIBody.h"
#include "VedevaveApp/LocalAPI/LocalAPIMacros.h"

#include <algorithm>
#include <cctype>
#include <variant>

using nlohmann::json;

namespace VedevaveApp::LocalAPIBatch {

namespace {

namespace Body = LocalAPIBody;

bool isListOfObjects(const json& value) {
    return value.is_array() &&
           std::all_of(value.begin(), value.end(), [](const json& step) { return step.is_object(); });
}

std::string operationOf(const json& step) {
    auto name = Body::text(step, "op");
    if (!name) {
        name = Body::text(step, "kind");
    }
    std::string normalized = Body::trimmed(name.value_or(""));
    std::transform(normalized.begin(), normalized.end(), normalized.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return normalized;
}

json stepError(const std::string& message, size_t index, const json& done) {
    return {{"ok", false}, {"error", message}, {"at", index}, {"done", done}};
}

// One validated step, ready to run.
struct PlannedStep {
    enum class Action { home, wait, spotlight, clear, open, step, type } action = Action::step;
    std::string label;
    std::string app;
    int64_t waitMs = 0;
    bool flag = false; // spotlight: go home first; type: reset before
    int backspaces = 0;
    std::string text;
    WorkflowStep step;
};

// The plan of one step, or an error text.
std::variant<PlannedStep, std::string> plan(const std::string& op, const json& step) {
    using Action = PlannedStep::Action;
    PlannedStep planned;
    if (op.empty()) {
        return std::string("missing op");
    }
    if (op == "home") {
        planned.action = Action::home;
        planned.label = "home";
    } else if (op == "wait") {
        planned.action = Action::wait;
        planned.waitMs = Body::waitMs(step);
        planned.label = "wait:" + std::to_string(planned.waitMs);
    } else if (op == "spotlight") {
        planned.action = Action::spotlight;
        planned.flag = Body::boolean(step, "home").value_or(false);
        planned.label = "spotlight";
    } else if (op == "clear" || op == "clear_field") {
        planned.action = Action::clear;
        planned.backspaces = static_cast<int>(std::clamp<int64_t>(Body::integer(step, "backspaces").value_or(12), 0, 40));
        planned.label = "clear";
    } else if (op == "open" || op == "open_app") {
        auto name = Body::text(step, "app");
        if (!name) {
            name = Body::text(step, "name");
        }
        planned.app = Body::trimmed(name.value_or(""));
        if (planned.app.empty()) {
            return std::string("open requires app");
        }
        planned.action = Action::open;
        planned.label = "open:" + planned.app;
    } else if (op == "tap") {
        planned.step = WorkflowStep::tap(Body::real(step, "x").value_or(0.5), Body::real(step, "y").value_or(0.5));
        planned.label = "tap";
    } else if (op == "swipe") {
        const double x = Body::real(step, "x").value_or(0.5);
        planned.step = WorkflowStep::swipe(x, Body::real(step, "y").value_or(0.8), Body::real(step, "x1").value_or(x),
                                           Body::real(step, "y1").value_or(0.2),
                                           std::clamp<int64_t>(Body::integer(step, "ms").value_or(300), 0,
                                                               Body::longestWaitMs));
        planned.label = "swipe";
    } else if (op == "type") {
        planned.action = Action::type;
        planned.text = Body::text(step, "text").value_or("");
        auto reset = Body::boolean(step, "reset_before");
        planned.flag = reset ? *reset : Body::boolean(step, "resetBefore").value_or(true);
        planned.label = "type";
    } else if (op == "enter" || op == "return" || op == "ret") {
        planned.step = WorkflowStep::key(LocalAPIMacros::usageReturn, 0);
        planned.label = "enter";
    } else if (op == "key") {
        std::string error;
        auto key = Body::keyValues(step, &error);
        if (!key) {
            return error;
        }
        planned.step = WorkflowStep::key(key->usage, key->mods);
        planned.label = "key";
    } else if (op == "button") {
        const std::string name = Body::text(step, "name").value_or("home");
        planned.step = WorkflowStep::button(name);
        planned.label = "button:" + name;
    } else {
        return "unknown op " + op;
    }
    return planned;
}

asio::awaitable<void> perform(const PlannedStep& planned, ControlKit::ControlClientInterface& control,
                              TouchMap::Mode mode, WorkflowPlayer& player) {
    using Action = PlannedStep::Action;
    switch (planned.action) {
    case Action::home: co_await LocalAPIMacros::goHome(control, mode, player); break;
    case Action::wait: co_await LocalAPIMacros::sleepMs(planned.waitMs, player); break;
    case Action::spotlight: co_await LocalAPIMacros::openSpotlight(control, mode, planned.flag, player); break;
    case Action::clear: co_await LocalAPIMacros::clearField(control, planned.backspaces, player); break;
    case Action::open: co_await LocalAPIMacros::openApp(planned.app, control, mode, player); break;
    case Action::type: co_await player.runType(planned.text, control, planned.flag, false); break;
    case Action::step: co_await player.run(planned.step, control, mode, false, std::nullopt); break;
    }
}

} // namespace

asio::awaitable<std::pair<int, json>> runDo(json body, std::string rawBody,
                                            ControlKit::ControlClientInterface& control, TouchMap::Mode mode,
                                            WorkflowPlayer& player) {
    json steps;
    if (body.is_object() && body.contains("steps") && isListOfObjects(body["steps"])) {
        steps = body["steps"];
    } else {
        json whole = json::parse(rawBody, nullptr, /*allow_exceptions=*/false);
        if (!isListOfObjects(whole)) {
            co_return std::pair{400, json{{"ok", false}, {"error", "steps array required"}}};
        }
        steps = std::move(whole);
    }
    if (steps.size() > maximumSteps) {
        co_return std::pair{400, json{{"ok", false},
                                      {"error", "too many steps: a batch holds at most " +
                                                    std::to_string(maximumSteps)}}};
    }
    const auto deadline = std::chrono::steady_clock::now() + maximumDuration;
    json done = json::array();
    for (size_t index = 0; index < steps.size(); ++index) {
        auto planned = plan(operationOf(steps[index]), steps[index]);
        if (auto* error = std::get_if<std::string>(&planned)) {
            co_return std::pair{400, stepError(*error, index, done)};
        }
        PlannedStep& step = std::get<PlannedStep>(planned);
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            co_return std::pair{400, stepError("batch time limit reached (10 minutes)", index, done)};
        }
        if (step.action == PlannedStep::Action::wait) {
            // A wait never carries the batch past its limit.
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
            step.waitMs = std::min<int64_t>(step.waitMs, left);
        }
        try {
            co_await perform(step, control, mode, player);
        } catch (const std::exception&) {
            // A failed or cancelled step still counts as done: only validation stops a batch.
        }
        done.push_back(step.label);
    }
    co_return std::pair{200, json{{"ok", true}, {"action", "do"}, {"count", done.size()}, {"done", done}}};
}

} // namespace VedevaveApp::LocalAPIBatch
