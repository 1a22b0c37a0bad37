// One model server the phone agent and the model endpoints talk to: adapter, base URL, model, how
// the access token is presented, whether screenshots may go there, reasoning effort and timeout.
// A plain value. The token itself is never part of a profile; it lives in the credential store
// under the profile's id. Any thread may use it.
#pragma once

#include "Runtime/HttpClient.h"
#include "VedevaveApp/Providers/AgentChatTypes.h"
#include "VedevaveApp/Providers/ProviderUUID.h"

#include <exception>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

namespace VedevaveApp {

enum class AIProviderPreset { lmStudio, openAICompatible };

namespace AIProviderPresetText {
std::string_view raw(AIProviderPreset preset); // "lm-studio", "openai-compatible"
std::optional<AIProviderPreset> fromRaw(std::string_view text);
} // namespace AIProviderPresetText

struct AIProviderPresetDefaults {
    std::string name;
    std::string baseURL;
    AIReasoningEffort reasoningEffort;
    static AIProviderPresetDefaults of(AIProviderPreset preset);
};

struct AIProviderAuthentication {
    enum class Kind { none, bearer, apiKey };
    Kind kind = Kind::bearer;
    std::string header; // apiKey only: the header field whose whole value is the token

    static AIProviderAuthentication none() { return {Kind::none, {}}; }
    static AIProviderAuthentication bearer() { return {Kind::bearer, {}}; }
    static AIProviderAuthentication apiKey(std::string header) { return {Kind::apiKey, std::move(header)}; }
    bool operator==(const AIProviderAuthentication&) const = default;
};

class AIProviderProfileError : public std::exception {
public:
    enum class Kind {
        invalidName,
        missingAdapter,
        invalidBaseURL,
        insecureRemoteURL,
        invalidAuthenticationHeader
    };
    explicit AIProviderProfileError(Kind kind) : kind_(kind) {}
    Kind kind() const { return kind_; }
    std::string description() const { return what(); }
    const char* what() const noexcept override;

private:
    Kind kind_;
};

struct AIProviderProfile {
    static constexpr const char* chatCompletionsAdapter = "openai.chat-completions";
    static constexpr double defaultRequestTimeoutSeconds = 120;

    ProviderUUID id = ProviderUUID::random();
    std::string name;
    AIProviderPreset preset = AIProviderPreset::openAICompatible;
    std::string adapterIdentifier = chatCompletionsAdapter;
    std::string baseURL;
    std::string model;
    AIProviderAuthentication authentication;
    bool allowsScreenshots = false;
    AIReasoningEffort reasoningEffort = AIReasoningEffort::providerDefault;
    double requestTimeoutSeconds = defaultRequestTimeoutSeconds;

    bool operator==(const AIProviderProfile&) const = default;

    // A new profile with the preset's defaults and a fresh id.
    static AIProviderProfile withDefaults(AIProviderPreset preset);

    // Trimmed texts, no trailing "/" on the base URL, timeout within 1...600 seconds.
    AIProviderProfile sanitized() const;
    // Checks the sanitized form; throws the first AIProviderProfileError that applies.
    void validate() const;
    // The URL of an API path below the base URL ("models" gives ".../v1/models"). Throws
    // AIProviderProfileError when the profile does not validate.
    std::string endpoint(const std::string& path) const;
    // Adds the access header for `token`; a token that is absent, blank or holds a line break is
    // not sent at all.
    void applyAuthentication(const std::optional<std::string>& token, Runtime::HttpHeaders& headers) const;

    // Whether a host names this machine: "localhost", "localhost.", ::1 or 127.x.y.z written out.
    static bool isLoopbackHost(const std::string& host);

    // All ten keys. Reading accepts any subset (missing keys take their defaults) but fails with
    // AgentJSONError on a key of the wrong type or an unknown raw text. Neither sanitizes.
    nlohmann::json toJSON() const;
    static AIProviderProfile fromJSON(const nlohmann::json& object);
};

} // namespace VedevaveApp
