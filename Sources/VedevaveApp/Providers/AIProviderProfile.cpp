#include "VedevaveApp/Providers/AIProviderProfile.h"

#include "VedevaveApp/Providers/ProviderHTTP.h"
#include "VedevaveApp/Providers/ProviderJSON.h"
#include "VedevaveApp/Providers/ProviderText.h"

#include <algorithm>
#include <cmath>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace VedevaveApp {

namespace {

using Json = nlohmann::json;

constexpr size_t maximumNameCharacters = 80;
constexpr size_t maximumBaseURLCharacters = 2048;
constexpr size_t maximumHeaderNameCharacters = 128;
constexpr double minimumTimeoutSeconds = 1;
constexpr double maximumTimeoutSeconds = 600;
constexpr const char* authenticationKeysText = "Invalid number of keys found, expected one.";

bool isDecimalByte(const std::string& piece) {
    if (piece.empty() || piece.size() > 3 ||
        !std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    return std::stoi(piece) <= 255;
}

// Letters, marks, numbers (any script) or "-", checked per code point.
bool isHeaderNameValid(const std::string& name) {
    if (name.empty() || ProviderText::characterCount(name) > maximumHeaderNameCharacters) {
        return false;
    }
    const auto length = static_cast<int32_t>(name.size());
    for (int32_t offset = 0; offset < length;) {
        UChar32 c;
        U8_NEXT(name.data(), offset, length, c);
        if (c == '-') {
            continue;
        }
        const int32_t category = U_GET_GC_MASK(c);
        if (c < 0 || !(category & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK))) {
            return false;
        }
    }
    return true;
}

[[noreturn]] void failReading(const std::string& message) {
    throw AgentJSONError(message);
}

const Json* member(const Json& object, const char* key) {
    auto found = object.find(key);
    return found == object.end() || found->is_null() ? nullptr : &*found;
}

std::optional<std::string> readString(const Json& object, const char* key) {
    const Json* value = member(object, key);
    if (!value) {
        return std::nullopt;
    }
    if (!value->is_string()) {
        failReading(std::string("profile key \"") + key + "\" must be a string");
    }
    return value->get<std::string>();
}

AIProviderAuthentication readAuthentication(const Json& value) {
    if (!value.is_object()) {
        failReading("profile key \"authentication\" must be an object");
    }
    // Other keys are ignored; exactly one of the three cases must be there.
    const int cases = static_cast<int>(value.contains("none")) + static_cast<int>(value.contains("bearer")) +
                      static_cast<int>(value.contains("apiKey"));
    if (cases != 1) {
        failReading(authenticationKeysText);
    }
    const char* key = value.contains("none") ? "none" : value.contains("bearer") ? "bearer" : "apiKey";
    const Json& payload = value.at(key);
    if (!payload.is_object()) {
        failReading(std::string("authentication \"") + key + "\" must be an object");
    }
    if (std::string_view(key) == "none") {
        return AIProviderAuthentication::none();
    }
    if (std::string_view(key) == "bearer") {
        return AIProviderAuthentication::bearer();
    }
    auto header = readString(payload, "header");
    if (!header) {
        failReading("authentication \"apiKey\" needs its \"header\"");
    }
    return AIProviderAuthentication::apiKey(*header);
}

} // namespace

const char* AIProviderProfileError::what() const noexcept {
    switch (kind_) {
    case Kind::invalidName:
        return "Enter a provider name of 80 characters or fewer.";
    case Kind::missingAdapter:
        return "This provider does not have an API adapter.";
    case Kind::invalidBaseURL:
        return "Enter a valid HTTP or HTTPS API base URL without credentials, a query, or a fragment.";
    case Kind::insecureRemoteURL:
        return "Remote AI providers must use HTTPS. Plain HTTP is allowed only on loopback.";
    case Kind::invalidAuthenticationHeader:
        return "The API-key header may contain only letters, numbers, and hyphens.";
    }
    return "";
}

namespace AIProviderPresetText {
std::string_view raw(AIProviderPreset preset) {
    return preset == AIProviderPreset::lmStudio ? "lm-studio" : "openai-compatible";
}
std::optional<AIProviderPreset> fromRaw(std::string_view text) {
    if (text == "lm-studio") {
        return AIProviderPreset::lmStudio;
    }
    if (text == "openai-compatible") {
        return AIProviderPreset::openAICompatible;
    }
    return std::nullopt;
}
} // namespace AIProviderPresetText

AIProviderPresetDefaults AIProviderPresetDefaults::of(AIProviderPreset preset) {
    if (preset == AIProviderPreset::lmStudio) {
        return {"LM Studio", "http://127.0.0.1:1234/v1", AIReasoningEffort::none};
    }
    return {"OpenAI-compatible", "", AIReasoningEffort::providerDefault};
}

AIProviderProfile AIProviderProfile::withDefaults(AIProviderPreset preset) {
    const auto defaults = AIProviderPresetDefaults::of(preset);
    AIProviderProfile profile;
    profile.name = defaults.name;
    profile.preset = preset;
    profile.baseURL = defaults.baseURL;
    profile.reasoningEffort = defaults.reasoningEffort;
    return profile;
}

AIProviderProfile AIProviderProfile::sanitized() const {
    AIProviderProfile copy = *this;
    copy.name = ProviderText::trimmed(name);
    copy.adapterIdentifier = ProviderText::trimmed(adapterIdentifier);
    copy.baseURL = ProviderText::trimmed(baseURL);
    while (!copy.baseURL.empty() && copy.baseURL.back() == '/') {
        copy.baseURL.pop_back();
    }
    copy.model = ProviderText::trimmed(model);
    copy.requestTimeoutSeconds =
        std::isnan(requestTimeoutSeconds)
            ? defaultRequestTimeoutSeconds
            : std::clamp(requestTimeoutSeconds, minimumTimeoutSeconds, maximumTimeoutSeconds);
    return copy;
}

void AIProviderProfile::validate() const {
    using Error = AIProviderProfileError;
    const AIProviderProfile profile = sanitized();
    if (profile.name.empty() || ProviderText::characterCount(profile.name) > maximumNameCharacters) {
        throw Error(Error::Kind::invalidName);
    }
    if (profile.adapterIdentifier.empty()) {
        throw Error(Error::Kind::missingAdapter);
    }
    ProviderHTTP::URLParts url;
    if (profile.baseURL.empty() || ProviderText::characterCount(profile.baseURL) > maximumBaseURLCharacters ||
        !ProviderHTTP::parseURL(profile.baseURL, url)) {
        throw Error(Error::Kind::invalidBaseURL);
    }
    if (url.scheme != "http" && url.scheme != "https") {
        throw Error(Error::Kind::invalidBaseURL);
    }
    if (url.host.empty() || url.hostAsWritten.empty()) {
        throw Error(Error::Kind::invalidBaseURL);
    }
    if (url.hasUser || url.hasPassword || url.hasQuery || url.hasFragment) {
        throw Error(Error::Kind::invalidBaseURL);
    }
    // The host must be loopback both as written and as the HTTP client will read it.
    if (url.scheme == "http" && !(isLoopbackHost(url.hostAsWritten) && isLoopbackHost(url.host))) {
        throw Error(Error::Kind::insecureRemoteURL);
    }
    if (profile.authentication.kind == AIProviderAuthentication::Kind::apiKey &&
        !isHeaderNameValid(profile.authentication.header)) {
        throw Error(Error::Kind::invalidAuthenticationHeader);
    }
}

bool AIProviderProfile::isLoopbackHost(const std::string& host) {
    std::string name = ProviderText::lowercased(host);
    while (!name.empty() && (name.front() == '[' || name.front() == ']')) {
        name.erase(name.begin());
    }
    while (!name.empty() && (name.back() == '[' || name.back() == ']')) {
        name.pop_back();
    }
    if (name == "localhost" || name == "localhost." || name == "::1" || name == "0:0:0:0:0:0:0:1") {
        return true;
    }
    std::vector<std::string> pieces;
    size_t start = 0;
    while (true) {
        const auto dot = name.find('.', start);
        pieces.push_back(name.substr(start, dot - start));
        if (dot == std::string::npos) {
            break;
        }
        start = dot + 1;
    }
    return pieces.size() == 4 && std::all_of(pieces.begin(), pieces.end(), isDecimalByte) &&
           pieces[0] == "127";
}

std::string AIProviderProfile::endpoint(const std::string& path) const {
    validate();
    const AIProviderProfile profile = sanitized();
    const auto first = path.find_first_not_of('/');
    const std::string inner = first == std::string::npos
                                  ? std::string()
                                  : path.substr(first, path.find_last_not_of('/') - first + 1);
    if (inner.empty()) {
        return profile.baseURL;
    }
    auto url = ProviderHTTP::appendingPath(profile.baseURL, inner);
    if (!url) {
        throw AIProviderProfileError(AIProviderProfileError::Kind::invalidBaseURL);
    }
    return *url;
}

void AIProviderProfile::applyAuthentication(const std::optional<std::string>& token,
                                            Runtime::HttpHeaders& headers) const {
    if (!token) {
        return;
    }
    const std::string value = ProviderText::trimmed(*token);
    if (value.empty() || ProviderText::containsLineBreak(value) || value.find('\0') != std::string::npos) {
        return;
    }
    switch (authentication.kind) {
    case AIProviderAuthentication::Kind::none:
        return;
    case AIProviderAuthentication::Kind::bearer:
        ProviderHTTP::setHeader(headers, "Authorization", "Bearer " + value);
        return;
    case AIProviderAuthentication::Kind::apiKey: {
        const std::string header = ProviderText::trimmed(authentication.header);
        if (ProviderHTTP::isSafeHeader(header, value)) {
            ProviderHTTP::setHeader(headers, header, value);
        }
        return;
    }
    }
}

nlohmann::json AIProviderProfile::toJSON() const {
    Json auth;
    switch (authentication.kind) {
    case AIProviderAuthentication::Kind::none:
        auth = {{"none", Json::object()}};
        break;
    case AIProviderAuthentication::Kind::bearer:
        auth = {{"bearer", Json::object()}};
        break;
    case AIProviderAuthentication::Kind::apiKey:
        auth = {{"apiKey", {{"header", authentication.header}}}};
        break;
    }
    return {{"id", id.text()},
            {"name", name},
            {"preset", std::string(AIProviderPresetText::raw(preset))},
            {"adapterIdentifier", adapterIdentifier},
            {"baseURL", baseURL},
            {"model", model},
            {"authentication", std::move(auth)},
            {"allowsScreenshots", allowsScreenshots},
            {"reasoningEffort", std::string(AIReasoningEffortText::raw(reasoningEffort))},
            {"requestTimeoutSeconds",
             std::isfinite(requestTimeoutSeconds) ? requestTimeoutSeconds : defaultRequestTimeoutSeconds}};
}

AIProviderProfile AIProviderProfile::fromJSON(const nlohmann::json& object) {
    if (!object.is_object()) {
        failReading("a provider profile must be a JSON object");
    }
    AIProviderProfile profile;
    if (auto id = readString(object, "id")) {
        auto parsed = ProviderUUID::parse(*id);
        if (!parsed) {
            failReading("profile key \"id\" is not a UUID");
        }
        profile.id = *parsed;
    }
    if (auto preset = readString(object, "preset")) {
        auto parsed = AIProviderPresetText::fromRaw(*preset);
        if (!parsed) {
            failReading("profile key \"preset\" has the unknown value \"" + *preset + "\"");
        }
        profile.preset = *parsed;
    }
    const auto defaults = AIProviderPresetDefaults::of(profile.preset);
    profile.name = readString(object, "name").value_or(defaults.name);
    profile.adapterIdentifier = readString(object, "adapterIdentifier").value_or(chatCompletionsAdapter);
    profile.baseURL = readString(object, "baseURL").value_or(defaults.baseURL);
    profile.model = readString(object, "model").value_or("");
    if (const Json* auth = member(object, "authentication")) {
        profile.authentication = readAuthentication(*auth);
    }
    if (const Json* screenshots = member(object, "allowsScreenshots")) {
        if (!screenshots->is_boolean()) {
            failReading("profile key \"allowsScreenshots\" must be true or false");
        }
        profile.allowsScreenshots = screenshots->get<bool>();
    }
    profile.reasoningEffort = defaults.reasoningEffort;
    if (auto effort = readString(object, "reasoningEffort")) {
        auto parsed = AIReasoningEffortText::fromRaw(*effort);
        if (!parsed) {
            failReading("profile key \"reasoningEffort\" has the unknown value \"" + *effort + "\"");
        }
        profile.reasoningEffort = *parsed;
    }
    if (const Json* timeout = member(object, "requestTimeoutSeconds")) {
        if (!timeout->is_number()) {
            failReading("profile key \"requestTimeoutSeconds\" must be a number");
        }
        profile.requestTimeoutSeconds = timeout->get<double>();
    }
    return profile;
}

} // namespace VedevaveApp
