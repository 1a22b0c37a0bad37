// Typed reading of JSON request bodies for the control routes. A missing or mistyped field throws
// BadRequest, which the Router answers with 400 and {"ok": false, "error": {"code", "message"}}.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

namespace Engine {

class BadRequest : public std::runtime_error {
public:
    BadRequest(std::string code, const std::string& message)
        : std::runtime_error(message), code_(std::move(code)) {}
    const std::string& code() const { return code_; }

private:
    std::string code_;
};

namespace RequestBody {

// The body as a JSON object. An empty body counts as {} only when `emptyIsObject`.
nlohmann::json parseObject(const std::string& body, bool emptyIsObject = false);

bool requireBool(const nlohmann::json& object, const char* key);
// An integer (a JSON number without a fraction) within [min, max].
int64_t requireInteger(const nlohmann::json& object, const char* key, int64_t min, int64_t max);
std::string requireString(const nlohmann::json& object, const char* key);
// Like requireString, but absent gives `fallback`.
std::string optionalString(const nlohmann::json& object, const char* key, const std::string& fallback);

} // namespace RequestBody

} // namespace Engine
