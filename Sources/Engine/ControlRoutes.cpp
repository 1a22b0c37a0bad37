#include "Engine/ControlRoutes.h"

#include "Engine/EngineClock.h"
#include "Engine/RequestBody.h"

#include <algorithm>

namespace Engine {

namespace {

constexpr const char* emptyNameMessage = "App name must not be empty.";
constexpr const char* busyMessage = "The app launch service is busy; try again shortly.";

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n\v\f");
    if (first == std::string::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(" \t\r\n\v\f");
    return text.substr(first, last - first + 1);
}

HttpResponse accepted() {
    return HttpResponse::json(200, {{"ok", true}});
}

} // namespace

ControlRoutes::ControlRoutes(const EngineOptions& options, PhoneModel& model, InputDispatcher& dispatcher,
                             const Faults& faults, std::function<bool()> isStarted)
    : options_(options), model_(model), dispatcher_(dispatcher), faults_(faults),
      isStarted_(std::move(isStarted)) {}

void ControlRoutes::install(Router& router) {
    router.add("GET", "/status", [this](const HttpRequest& r) { return status(r); });
    router.add("POST", "/open-app", [this](const HttpRequest& r) { return openApp(r); });
    router.add("POST", "/touch", [this](const HttpRequest& r) { return touch(r); });
    router.add("POST", "/button", [this](const HttpRequest& r) { return button(r); });
    router.add("POST", "/key", [this](const HttpRequest& r) { return key(r); });
    router.add("POST", "/instant", [this](const HttpRequest& r) { return instant(r); });
    router.add("POST", "/music-safe", [this](const HttpRequest& r) { return musicSafe(r); });
    router.add("POST", "/keyboard-reset", [this](const HttpRequest& r) { return keyboardReset(r); });
}

HttpResponse ControlRoutes::status(const HttpRequest&) const {
    if (!isStarted_() || !faults_.isStatusReady(Faults::Clock::now())) {
        return HttpResponse::json(
            503, {{"ok", false}, {"ready", false}, {"message", "The phone engine is starting."}});
    }
    return HttpResponse::json(200, {
                                       {"ok", true},
                                       {"ready", true},
                                       {"engine", "DaridiveVarara"},
                                       {"simulated", true},
                                       {"udid", options_.udid},
                                       {"transport", options_.transport},
                                       {"foreground", model_.foregroundReport(unixSeconds())},
                                   });
}

HttpResponse ControlRoutes::openApp(const HttpRequest& request) {
    const auto body = RequestBody::parseObject(request.body);
    const std::string requested = trimmed(RequestBody::requireString(body, "name"));
    switch (faults_.openAppFailure()) {
    case OpenAppFailure::notFound404:
        // An engine that predates direct app launch: plain "Not Found" and no code.
        return HttpResponse::json(404, {{"error", "Not Found"}});
    case OpenAppFailure::unavailable503:
        return HttpResponse::json(503, {{"message", busyMessage}});
    case OpenAppFailure::none:
        break;
    }
    if (requested.empty()) {
        return HttpResponse::error(400, "invalid_selector", emptyNameMessage);
    }
    const AppInfo* app = model_.openApp(requested);
    if (app == nullptr) {
        return HttpResponse::error(404, "app_not_found", "No installed app is named \"" + requested + "\".");
    }
    const auto foreground = model_.foregroundReport(unixSeconds());
    return HttpResponse::json(200,
                              {
                                  {"ok", true},
                                  {"launchAccepted", true},
                                  {"foregroundConfirmed", foreground.value("bundleId", "") == app->bundleId},
                                  {"requested", requested},
                                  {"name", app->name},
                                  {"bundleId", app->bundleId},
                                  {"pid", model_.pidOf(app->bundleId)},
                                  {"foreground", foreground},
                              });
}

HttpResponse ControlRoutes::touch(const HttpRequest& request) {
    const auto body = RequestBody::parseObject(request.body);
    const std::string type = RequestBody::requireString(body, "type");
    const int64_t x = RequestBody::requireInteger(body, "x", INT32_MIN, INT32_MAX);
    const int64_t y = RequestBody::requireInteger(body, "y", INT32_MIN, INT32_MAX);
    // Like the HID client: "release" lifts the finger, any other type is a contact.
    dispatcher_.apply(HidTouch{type != "release", static_cast<uint16_t>(std::clamp<int64_t>(x, 0, 65535)),
                               static_cast<uint16_t>(std::clamp<int64_t>(y, 0, 65535))},
                      InputSource::http);
    return accepted();
}

HttpResponse ControlRoutes::button(const HttpRequest& request) {
    const auto body = RequestBody::parseObject(request.body);
    std::string name = RequestBody::requireString(body, "name");
    if (name.empty()) {
        throw BadRequest("invalid_field", "\"name\" must not be empty.");
    }
    const std::string state = RequestBody::optionalString(body, "state", "press");
    dispatcher_.apply(HidButton{std::move(name), state == "press"}, InputSource::http);
    return accepted();
}

HttpResponse ControlRoutes::key(const HttpRequest& request) {
    const auto body = RequestBody::parseObject(request.body);
    HidKey key;
    key.down = RequestBody::requireBool(body, "down");
    key.usage = static_cast<uint16_t>(RequestBody::requireInteger(body, "usage", 0, 65535));
    key.mods =
        body.contains("mods") ? static_cast<uint8_t>(RequestBody::requireInteger(body, "mods", 0, 255)) : 0;
    key.character = RequestBody::optionalString(body, "char", "");
    dispatcher_.apply(key, InputSource::http);
    return accepted();
}

HttpResponse ControlRoutes::instant(const HttpRequest& request) {
    const auto body = RequestBody::parseObject(request.body);
    dispatcher_.apply(HidInstant{RequestBody::requireBool(body, "hard")}, InputSource::http);
    return accepted();
}

HttpResponse ControlRoutes::musicSafe(const HttpRequest& request) {
    const auto body = RequestBody::parseObject(request.body);
    dispatcher_.apply(HidMusicSafe{RequestBody::requireBool(body, "on")}, InputSource::http);
    return accepted();
}

HttpResponse ControlRoutes::keyboardReset(const HttpRequest& request) {
    RequestBody::parseObject(request.body, /*emptyIsObject=*/true);
    dispatcher_.apply(HidKeyboardReset{}, InputSource::http);
    return accepted();
}

} // namespace Engine
