#include "Engine/RequestBody.h"

#include <cmath>

namespace Engine::RequestBody {

namespace {

const nlohmann::json& field(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end()) {
        throw BadRequest("missing_field", std::string("\"") + key + "\" is required.");
    }
    return *it;
}

[[noreturn]] void wrongType(const char* key, const char* expected) {
    throw BadRequest("invalid_field", std::string("\"") + key + "\" must be " + expected + ".");
}

} // namespace

nlohmann::json parseObject(const std::string& body, bool emptyIsObject) {
    if (emptyIsObject && body.find_first_not_of(" \t\r\n") == std::string::npos) {
        return nlohmann::json::object();
    }
    auto value = nlohmann::json::parse(body, nullptr, false);
    if (value.is_discarded()) {
        throw BadRequest("invalid_json", "The request body is not valid JSON.");
    }
    if (!value.is_object()) {
        throw BadRequest("invalid_json", "The request body must be a JSON object.");
    }
    return value;
}

bool requireBool(const nlohmann::json& object, const char* key) {
    const auto& value = field(object, key);
    if (!value.is_boolean()) {
        wrongType(key, "true or false");
    }
    return value.get<bool>();
}

int64_t requireInteger(const nlohmann::json& object, const char* key, int64_t min, int64_t max) {
    const auto& value = field(object, key);
    int64_t result = 0;
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() && value.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX)) {
            wrongType(key, "an integer in range");
        }
        result = value.get<int64_t>();
    } else if (value.is_number_float() && std::isfinite(value.get<double>()) &&
               std::floor(value.get<double>()) == value.get<double>() &&
               std::fabs(value.get<double>()) < 9e15) {
        result = static_cast<int64_t>(value.get<double>()); // 12.0 is an integer written as a real
    } else {
        wrongType(key, "an integer");
    }
    if (result < min || result > max) {
        throw BadRequest("invalid_field", std::string("\"") + key + "\" must be from " + std::to_string(min) +
                                              " to " + std::to_string(max) + ".");
    }
    return result;
}

std::string requireString(const nlohmann::json& object, const char* key) {
    const auto& value = field(object, key);
    if (!value.is_string()) {
        wrongType(key, "a string");
    }
    return value.get<std::string>();
}

std::string optionalString(const nlohmann::json& object, const char* key, const std::string& fallback) {
    return object.contains(key) ? requireString(object, key) : fallback;
}

} // namespace Engine::RequestBody
