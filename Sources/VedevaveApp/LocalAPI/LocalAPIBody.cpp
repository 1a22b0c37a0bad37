#include "VedevaveApp/LocalAPI/LocalAPIBody.h"

#include <algorithm>
#include <cctype>
#include <cmath>

using nlohmann::json;

namespace VedevaveApp::LocalAPIBody {

namespace {
const json* find(const json& object, const char* key) {
    if (!object.is_object()) {
        return nullptr;
    }
    auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

int64_t clampedMs(double ms) {
    if (!std::isfinite(ms)) {
        return ms > 0 ? longestWaitMs : 0;
    }
    return static_cast<int64_t>(std::clamp(std::trunc(ms), 0.0, static_cast<double>(longestWaitMs)));
}
} // namespace

json parseObject(std::string_view body) {
    json parsed = json::parse(body, nullptr, /*allow_exceptions=*/false);
    return parsed.is_object() ? parsed : json::object();
}

std::optional<double> real(const json& object, const char* key) {
    const json* value = find(object, key);
    if (value && value->is_number()) {
        const double number = value->get<double>();
        if (std::isfinite(number)) {
            return number;
        }
    }
    return std::nullopt;
}

std::optional<int64_t> integer(const json& object, const char* key) {
    const json* value = find(object, key);
    if (!value) {
        return std::nullopt;
    }
    if (value->is_number_integer()) {
        // Unsigned values beyond the signed range saturate rather than wrap.
        if (value->is_number_unsigned() && value->get<uint64_t>() > static_cast<uint64_t>(INT64_MAX)) {
            return INT64_MAX;
        }
        return value->get<int64_t>();
    }
    if (value->is_number_float()) {
        const double number = value->get<double>();
        // A whole number written as a real (12.0) is an integer; 1.5 is not.
        if (std::isfinite(number) && std::trunc(number) == number && std::fabs(number) < 9.0e18) {
            return static_cast<int64_t>(number);
        }
    }
    return std::nullopt;
}

std::optional<bool> boolean(const json& object, const char* key) {
    const json* value = find(object, key);
    if (value && value->is_boolean()) {
        return value->get<bool>();
    }
    return std::nullopt;
}

std::optional<std::string> text(const json& object, const char* key) {
    const json* value = find(object, key);
    if (value && value->is_string()) {
        return value->get<std::string>();
    }
    return std::nullopt;
}

int64_t waitMs(const json& object) {
    const json* ms = find(object, "ms");
    if (ms && ms->is_number_integer()) {
        return ms->is_number_unsigned() ? std::min<uint64_t>(ms->get<uint64_t>(), longestWaitMs)
                                        : std::clamp<int64_t>(ms->get<int64_t>(), 0, longestWaitMs);
    }
    if (ms && ms->is_number_float()) {
        return clampedMs(ms->get<double>());
    }
    const json* seconds = find(object, "seconds");
    if (seconds && seconds->is_number()) {
        return clampedMs(seconds->get<double>() * 1000.0);
    }
    return 500;
}

std::string trimmed(std::string_view value) {
    auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!value.empty() && isSpace(static_cast<unsigned char>(value.front()))) {
        value.remove_prefix(1);
    }
    while (!value.empty() && isSpace(static_cast<unsigned char>(value.back()))) {
        value.remove_suffix(1);
    }
    return std::string(value);
}

std::optional<KeyValues> keyValues(const json& object, std::string* error) {
    const int64_t usage = integer(object, "usage").value_or(0);
    const int64_t mods = integer(object, "mods").value_or(0);
    if (usage < 0 || usage > 65535) {
        *error = "usage must be an integer from 0 to 65535";
        return std::nullopt;
    }
    if (mods < 0 || mods > 255) {
        *error = "mods must be an integer from 0 to 255";
        return std::nullopt;
    }
    return KeyValues{static_cast<uint16_t>(usage), static_cast<uint8_t>(mods)};
}

} // namespace VedevaveApp::LocalAPIBody
