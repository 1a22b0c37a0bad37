#include "ControlKit/ControlValues.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>

using nlohmann::json;

namespace ControlKit {

ControlClientRequestError ControlClientRequestError::endpointUnavailable(std::string message) {
    return {Kind::endpointUnavailable, 0, std::nullopt, std::move(message)};
}

ControlClientRequestError ControlClientRequestError::rejected(int status, std::optional<std::string> code,
                                                              std::string message) {
    return {Kind::rejected, status, std::move(code), std::move(message)};
}

ControlClientRequestError ControlClientRequestError::invalidResponse() {
    return {Kind::invalidResponse, 0, std::nullopt, ControlDecoding::invalidResponseText};
}

bool ControlClientRequestError::allowsAppMacroFallback() const {
    switch (kind_) {
    case Kind::endpointUnavailable: return true;
    case Kind::rejected: return status_ == 503;
    case Kind::invalidResponse: return false;
    }
    return false;
}

namespace ControlDecoding {

namespace {
std::optional<std::string> text(const json& object, const char* key) {
    auto found = object.find(key);
    if (found != object.end() && found->is_string()) {
        return found->get<std::string>();
    }
    return std::nullopt;
}

std::optional<double> number(const json& object, const char* key) {
    auto found = object.find(key);
    if (found != object.end() && found->is_number()) {
        return found->get<double>();
    }
    return std::nullopt;
}
} // namespace

std::string trimmed(const std::string& value) {
    auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    auto begin = std::find_if_not(value.begin(), value.end(), isSpace);
    auto end = std::find_if_not(value.rbegin(), value.rend(), isSpace).base();
    return begin < end ? std::string(begin, end) : std::string();
}

ControlForegroundAppStatus decodeForeground(const json& object) {
    auto available = object.find("available");
    auto fresh = object.find("fresh");
    if (!object.is_object() || available == object.end() || !available->is_boolean() || fresh == object.end() ||
        !fresh->is_boolean()) {
        throw ControlClientRequestError::invalidResponse();
    }
    ControlForegroundAppStatus status;
    status.available = available->get<bool>();
    status.fresh = fresh->get<bool>();
    auto monitor = object.find("monitor");
    if (monitor != object.end() && monitor->is_string()) {
        status.monitor = monitor->get<std::string>();
    } else if (monitor != object.end() && monitor->is_boolean()) {
        status.monitor = monitor->get<bool>() ? "connected" : "disconnected";
    } else {
        status.monitor = "unknown";
    }
    status.bundleIdentifier = text(object, "bundleId");
    status.name = text(object, "name");
    status.state = text(object, "state");
    status.timestamp = number(object, "timestamp");
    status.ageMilliseconds = number(object, "ageMs");
    return status;
}

ControlAppLaunchReceipt decodeLaunchReceipt(const json& object, const std::string& requested) {
    auto isTrue = [&](const char* key) {
        auto found = object.find(key);
        return found != object.end() && found->is_boolean() && found->get<bool>();
    };
    auto name = text(object, "name");
    auto bundle = text(object, "bundleId");
    if (!isTrue("ok") || !isTrue("launchAccepted") || !name || name->empty() || !bundle || bundle->empty()) {
        throw ControlClientRequestError::invalidResponse();
    }
    ControlAppLaunchReceipt receipt;
    receipt.requested = text(object, "requested").value_or(requested);
    receipt.name = *name;
    receipt.bundleIdentifier = *bundle;
    if (auto pid = object.find("pid"); pid != object.end() && pid->is_number_integer()) {
        receipt.processIdentifier = pid->get<int64_t>();
    }
    if (auto confirmed = object.find("foregroundConfirmed"); confirmed != object.end() && confirmed->is_boolean()) {
        receipt.foregroundConfirmed = confirmed->get<bool>();
    }
    if (auto foreground = object.find("foreground"); foreground != object.end() && foreground->is_object()) {
        try {
            receipt.foreground = decodeForeground(*foreground);
        } catch (const ControlClientRequestError&) {
            // a malformed report only loses the report, not the launch
        }
    }
    return receipt;
}

json interpretAnswer(long status, const std::string& body) {
    json object = json::parse(body, nullptr, /*allow_exceptions=*/false);
    if (!object.is_object()) {
        object = json::object();
    }
    if (status >= 200 && status <= 299) {
        if (object.empty()) {
            throw ControlClientRequestError::invalidResponse();
        }
        return object;
    }
    const json* error = object.contains("error") ? &object["error"] : nullptr;
    std::optional<std::string> code;
    if (error && error->is_object()) {
        code = text(*error, "code");
    } else {
        code = text(object, "code");
    }
    std::string message;
    if (error && error->is_object() && text(*error, "message")) {
        message = *text(*error, "message");
    } else if (error && error->is_string()) {
        message = error->get<std::string>();
    } else if (auto topMessage = text(object, "message")) {
        message = *topMessage;
    } else {
        message = "Phone control request failed with HTTP " + std::to_string(status) + ".";
    }
    std::string lowered = message;
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), [](unsigned char c) { return std::tolower(c); });
    if (status == 404 && !code && lowered == "not found") {
        throw ControlClientRequestError::endpointUnavailable(predatesLaunchText);
    }
    throw ControlClientRequestError::rejected(static_cast<int>(status), code, message);
}

} // namespace ControlDecoding
} // namespace ControlKit
