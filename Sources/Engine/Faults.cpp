#include "Engine/Faults.h"

namespace Engine {

namespace {

using Ms = std::chrono::milliseconds;

int64_t remainingMs(Faults::Clock::time_point until, Faults::Clock::time_point now) {
    return until > now ? std::chrono::duration_cast<Ms>(until - now).count() : 0;
}

// A non-negative integer field, or an error text.
std::optional<std::string> readMs(const nlohmann::json& body, const char* key, std::optional<int64_t>& out) {
    if (!body.contains(key)) {
        return std::nullopt;
    }
    const auto& value = body.at(key);
    if (!value.is_number_integer() || value.get<int64_t>() < 0) {
        return std::string("\"") + key + "\" must be a non-negative integer.";
    }
    out = value.get<int64_t>();
    return std::nullopt;
}

} // namespace

std::optional<OpenAppFailure> parseOpenAppFailure(const std::string& text) {
    if (text.empty() || text == "none" || text == "0" || text == "off") {
        return OpenAppFailure::none;
    }
    if (text == "404") {
        return OpenAppFailure::notFound404;
    }
    if (text == "503") {
        return OpenAppFailure::unavailable503;
    }
    return std::nullopt;
}

const char* openAppFailureName(OpenAppFailure failure) {
    switch (failure) {
    case OpenAppFailure::notFound404:
        return "404";
    case OpenAppFailure::unavailable503:
        return "503";
    default:
        return "none";
    }
}

Faults::Faults(const FaultSettings& settings, Clock::time_point start) : settings_(settings), start_(start) {
    statusReadyAt_ = start + Ms(settings.statusDelayMs);
    captureStallFrom_ = start + Ms(settings.captureStallAfterMs);
    captureStallUntil_ = captureStallFrom_ + Ms(settings.captureStallMs);
    videoStallFrom_ = start;
    videoStallUntil_ = start + Ms(settings.videoStallMs);
    openAppFailure_ = settings.openAppFailure;
}

void Faults::armLaunchFaults() {
    if (settings_.exitAfterMs && scheduleExit_) {
        pendingExitStatus_ = settings_.exitStatus;
        scheduleExit_(*settings_.exitAfterMs, settings_.exitStatus);
    }
}

std::optional<std::string> Faults::apply(const nlohmann::json& body, Clock::time_point now) {
    if (!body.is_object()) {
        return "The fault body must be a JSON object.";
    }
    std::optional<int64_t> exitAfter, statusDelay, captureStall, videoStall;
    for (auto [key, target] :
         {std::pair{"exitAfterMs", &exitAfter}, std::pair{"statusDelayMs", &statusDelay},
          std::pair{"captureStallMs", &captureStall}, std::pair{"videoStallMs", &videoStall}}) {
        if (auto error = readMs(body, key, *target)) {
            return error;
        }
    }
    int exitStatus = 1;
    if (body.contains("exitStatus")) {
        if (!body["exitStatus"].is_number_integer() || body["exitStatus"].get<int64_t>() < 0 ||
            body["exitStatus"].get<int64_t>() > 255) {
            return "\"exitStatus\" must be an integer from 0 to 255.";
        }
        exitStatus = body["exitStatus"].get<int>();
    }
    std::optional<OpenAppFailure> openApp;
    if (body.contains("openApp")) {
        const auto& value = body["openApp"];
        std::string text = value.is_string()           ? value.get<std::string>()
                           : value.is_number_integer() ? std::to_string(value.get<int64_t>())
                                                       : std::string("?");
        openApp = parseOpenAppFailure(text);
        if (!openApp) {
            return "\"openApp\" must be \"404\", \"503\" or \"none\".";
        }
    }
    if (body.contains("clear") && !body["clear"].is_boolean()) {
        return "\"clear\" must be a boolean.";
    }

    // Everything validated: apply.
    if (body.value("clear", false)) {
        statusReadyAt_ = now;
        captureStallUntil_ = now;
        videoStallUntil_ = now;
        openAppFailure_ = OpenAppFailure::none;
    }
    if (statusDelay) {
        statusReadyAt_ = now + Ms(*statusDelay);
    }
    if (captureStall) {
        captureStallFrom_ = now;
        captureStallUntil_ = now + Ms(*captureStall);
    }
    if (videoStall) {
        videoStallFrom_ = now;
        videoStallUntil_ = now + Ms(*videoStall);
    }
    if (openApp) {
        openAppFailure_ = *openApp;
    }
    if (exitAfter && scheduleExit_) {
        pendingExitStatus_ = exitStatus;
        scheduleExit_(*exitAfter, exitStatus);
    }
    return std::nullopt;
}

nlohmann::json Faults::toJson(Clock::time_point now) const {
    return {
        {"statusDelayRemainingMs", remainingMs(statusReadyAt_, now)},
        {"captureStalled", isCaptureStalled(now)},
        {"captureStallRemainingMs", now >= captureStallFrom_ ? remainingMs(captureStallUntil_, now) : 0},
        {"videoStalled", isVideoStalled(now)},
        {"videoStallRemainingMs", now >= videoStallFrom_ ? remainingMs(videoStallUntil_, now) : 0},
        {"openApp", openAppFailureName(openAppFailure_)},
        {"metadata", settings_.skipMetadata ? "never" : "written"},
        {"exitPending", pendingExitStatus_.has_value()},
        {"exitStatus", pendingExitStatus_.value_or(0)},
    };
}

} // namespace Engine
