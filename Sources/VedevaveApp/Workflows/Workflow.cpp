#include "VedevaveApp/Workflows/Workflow.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <nlohmann/json.hpp>

namespace VedevaveApp {

using nlohmann::json;

namespace {

constexpr const char* decodingPrefix = "The workflow file could not be read: ";

[[noreturn]] void fail(const std::string& detail) {
    throw WorkflowDecodingError(detail);
}

std::string describeType(const json& value) {
    return value.type_name();
}

// A JSON number that is a whole number within 64 bits (1 and 1.0 both count).
std::optional<int64_t> wholeNumber(const json& value) {
    if (value.is_number_integer() && !value.is_number_unsigned()) {
        return value.get<int64_t>();
    }
    if (value.is_number_unsigned()) {
        const auto unsignedValue = value.get<uint64_t>();
        if (unsignedValue <= static_cast<uint64_t>(INT64_MAX)) {
            return static_cast<int64_t>(unsignedValue);
        }
        return std::nullopt;
    }
    if (value.is_number_float()) {
        const double real = value.get<double>();
        if (std::isfinite(real) && std::trunc(real) == real && real >= -9.2e18 && real <= 9.2e18) {
            return static_cast<int64_t>(real);
        }
    }
    return std::nullopt;
}

const json* optionalField(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) {
        return nullptr;
    }
    return &*found;
}

const json& requiredField(const json& object, const char* key, const std::string& where) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) {
        fail(where + "\"" + key + "\" is missing.");
    }
    return *found;
}

std::string readString(const json& value, const char* key, const std::string& where) {
    if (!value.is_string()) {
        fail(where + "\"" + key + "\" must be a string, not " + describeType(value) + ".");
    }
    return value.get<std::string>();
}

int64_t readInteger(const json& value, const char* key, const std::string& where) {
    if (!value.is_number()) {
        fail(where + "\"" + key + "\" must be a whole number, not " + describeType(value) + ".");
    }
    const auto whole = wholeNumber(value);
    if (!whole) {
        fail(where + "\"" + key + "\" must be a whole number within 64 bits.");
    }
    return *whole;
}

double readReal(const json& value, const char* key, const std::string& where) {
    if (!value.is_number()) {
        fail(where + "\"" + key + "\" must be a number, not " + describeType(value) + ".");
    }
    return value.get<double>();
}

std::optional<int64_t> optionalInteger(const json& object, const char* key, const std::string& where) {
    const json* value = optionalField(object, key);
    return value ? std::optional(readInteger(*value, key, where)) : std::nullopt;
}

std::optional<double> optionalReal(const json& object, const char* key, const std::string& where) {
    const json* value = optionalField(object, key);
    return value ? std::optional(readReal(*value, key, where)) : std::nullopt;
}

std::optional<std::string> optionalString(const json& object, const char* key, const std::string& where) {
    const json* value = optionalField(object, key);
    return value ? std::optional(readString(*value, key, where)) : std::nullopt;
}

WorkflowStep decodeStep(const json& object, std::size_t number) {
    const std::string where = "step " + std::to_string(number) + ": ";
    if (!object.is_object()) {
        fail(where + "must be an object, not " + describeType(object) + ".");
    }
    const std::string kindText = readString(requiredField(object, "kind", where), "kind", where);
    const auto kind = stepKindFromRawValue(kindText);
    if (!kind) {
        fail(where + "\"" + kindText + "\" is not a step kind (tap, swipe, type, key, button or wait).");
    }
    WorkflowStep step;
    step.kind = *kind;
    step.x = optionalReal(object, "x", where);
    step.y = optionalReal(object, "y", where);
    step.x1 = optionalReal(object, "x1", where);
    step.y1 = optionalReal(object, "y1", where);
    step.text = optionalString(object, "text", where);
    step.usage = optionalInteger(object, "usage", where);
    step.mods = optionalInteger(object, "mods", where);
    step.name = optionalString(object, "name", where);
    step.ms = optionalInteger(object, "ms", where);
    return step;
}

json encodeStep(const WorkflowStep& step) {
    json object = json::object();
    object["kind"] = std::string(rawValue(step.kind));
    auto putReal = [&](const char* key, const std::optional<double>& value) {
        if (value) {
            object[key] = *value;
        }
    };
    auto putInteger = [&](const char* key, const std::optional<int64_t>& value) {
        if (value) {
            object[key] = *value;
        }
    };
    auto putString = [&](const char* key, const std::optional<std::string>& value) {
        if (value) {
            object[key] = *value;
        }
    };
    putReal("x", step.x);
    putReal("y", step.y);
    putReal("x1", step.x1);
    putReal("y1", step.y1);
    putString("text", step.text);
    putInteger("usage", step.usage);
    putInteger("mods", step.mods);
    putString("name", step.name);
    putInteger("ms", step.ms);
    return object;
}

bool isDigits(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) {
        return false;
    }
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}

int number(std::string_view text, std::size_t at, std::size_t count) {
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

int daysInMonth(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool isLeap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && isLeap ? 29 : days[month - 1];
}

} // namespace

Workflow::Workflow(std::string name, std::vector<WorkflowStep> steps, std::optional<int64_t> latencyP95Ms,
                   std::chrono::system_clock::time_point createdAt)
    : name(std::move(name)), createdAt(internetDateTime(createdAt)), latencyP95Ms(latencyP95Ms),
      steps(std::move(steps)) {}

WorkflowDecodingError::WorkflowDecodingError(std::string detail)
    : detail_(std::move(detail)), description_(decodingPrefix + detail_) {}

std::string internetDateTime(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

bool isInternetDateTime(std::string_view text) {
    // 2026-03-01T14:05:09 then optional .fraction, then Z or +hh:mm / -hh:mm.
    if (!isDigits(text, 0, 4) || text.size() < 20 || text[4] != '-' || !isDigits(text, 5, 2) ||
        text[7] != '-' || !isDigits(text, 8, 2) || text[10] != 'T' || !isDigits(text, 11, 2) ||
        text[13] != ':' || !isDigits(text, 14, 2) || text[16] != ':' || !isDigits(text, 17, 2)) {
        return false;
    }
    const int year = number(text, 0, 4);
    const int month = number(text, 5, 2);
    const int day = number(text, 8, 2);
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || number(text, 11, 2) > 23 ||
        number(text, 14, 2) > 59 || number(text, 17, 2) > 59) {
        return false;
    }
    std::size_t at = 19;
    if (at < text.size() && text[at] == '.') {
        ++at;
        const std::size_t fractionStart = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            ++at;
        }
        if (at == fractionStart) {
            return false;
        }
    }
    if (at < text.size() && text[at] == 'Z') {
        return at + 1 == text.size();
    }
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        return at + 6 == text.size() && isDigits(text, at + 1, 2) && text[at + 3] == ':' &&
               isDigits(text, at + 4, 2) && number(text, at + 1, 2) <= 23 && number(text, at + 4, 2) <= 59;
    }
    return false;
}

std::string encodeWorkflow(const Workflow& workflow) {
    json object = json::object();
    object["name"] = workflow.name;
    object["version"] = workflow.version;
    object["createdAt"] = workflow.createdAt;
    if (workflow.latencyP95Ms) {
        object["latencyP95Ms"] = *workflow.latencyP95Ms;
    }
    json steps = json::array();
    for (const auto& step : workflow.steps) {
        steps.push_back(encodeStep(step));
    }
    object["steps"] = std::move(steps);
    // nlohmann's object keeps its keys sorted.
    return object.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

Workflow decodeWorkflow(std::string_view jsonText) {
    json document;
    try {
        document = json::parse(jsonText.begin(), jsonText.end());
    } catch (const json::parse_error& error) {
        fail("it is not valid JSON (at byte " + std::to_string(error.byte) + ").");
    }
    if (!document.is_object()) {
        fail("the top level must be an object, not " + describeType(document) + ".");
    }
    const std::string where;
    Workflow workflow;
    workflow.name = readString(requiredField(document, "name", where), "name", where);
    workflow.version = readInteger(requiredField(document, "version", where), "version", where);
    workflow.createdAt = readString(requiredField(document, "createdAt", where), "createdAt", where);
    workflow.latencyP95Ms = optionalInteger(document, "latencyP95Ms", where);
    const json& steps = requiredField(document, "steps", where);
    if (!steps.is_array()) {
        fail("\"steps\" must be an array, not " + describeType(steps) + ".");
    }
    workflow.steps.reserve(std::min<std::size_t>(steps.size(), 4096));
    std::size_t number = 0;
    for (const auto& step : steps) {
        workflow.steps.push_back(decodeStep(step, ++number));
    }
    return workflow;
}

} // namespace VedevaveApp
