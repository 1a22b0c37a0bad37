// The answers of the engine's request-and-answer operations and their errors, with the pure
// decoders that turn engine JSON into them. Any thread.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace ControlKit {

struct ControlForegroundAppStatus {
    bool available = false;
    bool fresh = false;
    std::string monitor;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> name;
    std::optional<std::string> state;
    std::optional<double> timestamp;
    std::optional<double> ageMilliseconds;

    bool operator==(const ControlForegroundAppStatus&) const = default;
};

struct ControlAppLaunchReceipt {
    std::string requested;
    std::string name;
    std::string bundleIdentifier;
    std::optional<int64_t> processIdentifier;
    bool launchAccepted = true;
    bool foregroundConfirmed = false;
    std::optional<ControlForegroundAppStatus> foreground;
};

class ControlClientRequestError : public std::exception {
public:
    enum class Kind { endpointUnavailable, rejected, invalidResponse };

    static ControlClientRequestError endpointUnavailable(std::string message);
    static ControlClientRequestError rejected(int status, std::optional<std::string> code, std::string message);
    static ControlClientRequestError invalidResponse();

    Kind kind() const { return kind_; }
    int status() const { return status_; }
    const std::optional<std::string>& code() const { return code_; }
    const std::string& errorDescription() const { return message_; }
    std::string description() const { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }
    // Whether the caller may fall back to opening the app through the on-screen macro.
    bool allowsAppMacroFallback() const;

private:
    ControlClientRequestError(Kind kind, int status, std::optional<std::string> code, std::string message)
        : kind_(kind), status_(status), code_(std::move(code)), message_(std::move(message)) {}

    Kind kind_;
    int status_;
    std::optional<std::string> code_;
    std::string message_;
};

namespace ControlDecoding {

inline constexpr const char* invalidResponseText = "The phone control engine returned an invalid response.";
inline constexpr const char* noForegroundText = "This phone engine does not expose foreground-app state.";
inline constexpr const char* predatesLaunchText = "The running phone engine predates direct app launch.";
inline constexpr const char* invalidURLText = "The phone control engine URL is invalid.";
inline constexpr const char* unavailablePrefix = "CoreDevice app control is unavailable: ";
inline constexpr const char* emptyAppNameText = "App name must not be empty.";

// Throws invalidResponse when "available" or "fresh" is not a boolean.
ControlForegroundAppStatus decodeForeground(const nlohmann::json& object);
// `requested` is the trimmed name that was asked for.
ControlAppLaunchReceipt decodeLaunchReceipt(const nlohmann::json& object, const std::string& requested);
// The answer body of a request: the object on success (2xx and not empty), else the error.
nlohmann::json interpretAnswer(long status, const std::string& body);
// Trims white space and line breaks at both ends.
std::string trimmed(const std::string& text);

} // namespace ControlDecoding
} // namespace ControlKit
