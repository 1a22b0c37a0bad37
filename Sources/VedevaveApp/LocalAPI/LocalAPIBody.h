// Reading the JSON body object of a control request: a body that is not a JSON object counts as an
// empty one, and a value of the wrong type counts as absent (reals accept integers; integers refuse
// numbers with a fraction). Pure; any thread.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace VedevaveApp::LocalAPIBody {

// The longest wait or batch the API accepts, in milliseconds (ten minutes).
inline constexpr int64_t longestWaitMs = 600'000;

nlohmann::json parseObject(std::string_view body);

std::optional<double> real(const nlohmann::json& object, const char* key);
std::optional<int64_t> integer(const nlohmann::json& object, const char* key);
std::optional<bool> boolean(const nlohmann::json& object, const char* key);
std::optional<std::string> text(const nlohmann::json& object, const char* key);

// "ms" (integer, then real) or "seconds" (real, then integer); negative as 0; 500 when absent.
// Values beyond the longest wait are cut to it.
int64_t waitMs(const nlohmann::json& object);

// Trims white space and line breaks at both ends.
std::string trimmed(std::string_view text);

// A key step's usage and modifiers, checked: nothing but an error text when out of range.
struct KeyValues {
    uint16_t usage = 0;
    uint8_t mods = 0;
};
std::optional<KeyValues> keyValues(const nlohmann::json& object, std::string* error);

} // namespace VedevaveApp::LocalAPIBody
