#include "Engine/DebugRoutes.h"

#include "Engine/EngineClock.h"
#include "Engine/RequestBody.h"

#include <charconv>

namespace Engine {

namespace {

constexpr size_t defaultListLength = 64;

size_t listLength(const HttpRequest& request, const char* key, size_t maximum) {
    const std::string text = request.queryValue(key);
    size_t value = defaultListLength;
    if (!text.empty()) {
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || end != text.data() + text.size()) {
            throw BadRequest("invalid_query", std::string("\"") + key + "\" must be a non-negative integer.");
        }
    }
    return std::min(value, maximum);
}

} // namespace

DebugRoutes::DebugRoutes(const EngineOptions& options, const PhoneModel& model, const DebugState& debug,
                         Faults& faults, FrameProducer& producer)
    : options_(options), model_(model), debug_(debug), faults_(faults), producer_(producer),
      start_(std::chrono::steady_clock::now()) {}

void DebugRoutes::install(Router& router) {
    router.add("GET", "/debug/state", [this](const HttpRequest& r) { return state(r); });
    router.add("POST", "/debug/fault", [this](const HttpRequest& r) { return fault(r); });
    router.add("GET", "/debug/screenshot.png", [this](const HttpRequest& r) { return screenshot(r); });
}

HttpResponse DebugRoutes::state(const HttpRequest& request) const {
    const auto now = std::chrono::steady_clock::now();
    nlohmann::json json = model_.screenJson();
    json["ok"] = true;
    json["udid"] = options_.udid;
    json["uptimeMs"] = std::chrono::duration_cast<std::chrono::milliseconds>(now - start_).count();
    json["foreground"] = model_.foregroundReport(unixSeconds());
    json["size"] = {{"width", options_.width}, {"height", options_.height}};
    json.update(debug_.inputJson(listLength(request, "touches", DebugState::touchHistory),
                                 listLength(request, "keys", DebugState::keyHistory),
                                 listLength(request, "buttons", DebugState::buttonHistory)));
    json["channels"] = debug_.channelsJson();
    json["frames"] = producer_.statsJson();
    if (clockReport_) {
        json["clock"] = clockReport_();
    }
    json["faults"] = faults_.toJson(now);
    json["config"] = {
        {"fps", options_.fps},
        {"captureKeepAliveFps", options_.captureKeepAliveFps},
        {"ringSlots", options_.ringSlots},
        {"ringMode", options_.ringMode == RingMode::path ? "path" : "fd"},
        {"transport", options_.transport},
        {"keyboardPhone", options_.keyboardPhone},
        {"landscape", options_.landscape},
        {"hidOrient", options_.hidOrient},
        {"push", options_.push},
        {"rctl", options_.rctl},
        {"native", options_.native},
        {"videoTransport", options_.videoTransport},
        {"clipboardFile", options_.clipboardFile},
    };
    json["paths"] = {
        {"metadata", options_.rsdPath},
        {"hidSocket", options_.hidSocketPath()},
        {"videoSocket", options_.videoSocketPath()},
        {"captureSocket",
         options_.captureEnabled ? nlohmann::json(options_.captureSocketPath()) : nlohmann::json(nullptr)},
        {"captureSidecar",
         options_.captureEnabled ? nlohmann::json(options_.captureSidecarPath()) : nlohmann::json(nullptr)},
    };
    return HttpResponse::json(200, json);
}

HttpResponse DebugRoutes::fault(const HttpRequest& request) {
    const auto body = RequestBody::parseObject(request.body);
    const auto now = std::chrono::steady_clock::now();
    if (const auto error = faults_.apply(body, now)) {
        throw BadRequest("invalid_fault", *error);
    }
    return HttpResponse::json(200, {{"ok", true}, {"faults", faults_.toJson(now)}});
}

HttpResponse DebugRoutes::screenshot(const HttpRequest&) {
    HttpResponse response;
    response.contentType = "image/png";
    response.body = producer_.png();
    return response;
}

} // namespace Engine
