#include "VedevaveApp/Providers/AIProviderEditingRules.h"

#include "VedevaveApp/Providers/ProviderHTTP.h"
#include "VedevaveApp/Providers/ProviderText.h"

namespace VedevaveApp::AIProviderEditingRules {

std::optional<std::string> origin(const std::string& baseURL) {
    ProviderHTTP::URLParts parts;
    std::string text = ProviderText::trimmed(baseURL);
    while (!text.empty() && text.back() == '/') {
        text.pop_back();
    }
    if (!ProviderHTTP::parseURL(text, parts) || parts.scheme.empty() || parts.host.empty()) {
        return std::nullopt;
    }
    std::string port = parts.port.value_or(parts.scheme == "https"  ? "443"
                                           : parts.scheme == "http" ? "80"
                                                                    : "-1");
    return parts.scheme + "://" + ProviderText::lowercased(parts.host) + ":" + port;
}

bool haveSameOrigin(const std::string& baseURL, const std::string& otherBaseURL) {
    return origin(baseURL) == origin(otherBaseURL);
}

AIProviderTokenUpdate tokenUpdateForSave(const TokenField& field, bool hasStoredToken,
                                         const std::string& draftBaseURL, const std::string& savedBaseURL) {
    if (field.isEdited) {
        const std::string token = ProviderText::trimmed(field.text);
        return token.empty() ? AIProviderTokenUpdate::remove() : AIProviderTokenUpdate::replace(token);
    }
    if (hasStoredToken && !haveSameOrigin(draftBaseURL, savedBaseURL)) {
        return AIProviderTokenUpdate::remove();
    }
    return AIProviderTokenUpdate::keep();
}

std::optional<std::string> tokenForConnectionTest(const TokenField& field,
                                                  const std::optional<std::string>& storedToken,
                                                  const std::string& draftBaseURL,
                                                  const std::string& savedBaseURL) {
    if (field.isEdited) {
        std::string token = ProviderText::trimmed(field.text);
        return token.empty() ? std::nullopt : std::optional(std::move(token));
    }
    if (storedToken && haveSameOrigin(draftBaseURL, savedBaseURL)) {
        return storedToken;
    }
    return std::nullopt;
}

AIProviderProfile applyingPresetChange(const AIProviderProfile& draft, AIProviderPreset newPreset) {
    const auto oldDefaults = AIProviderPresetDefaults::of(draft.preset);
    const auto newDefaults = AIProviderPresetDefaults::of(newPreset);
    AIProviderProfile next = draft;
    next.preset = newPreset;
    if (ProviderText::trimmed(draft.name).empty() || draft.name == oldDefaults.name) {
        next.name = newDefaults.name;
    }
    if (ProviderText::trimmed(draft.baseURL).empty() || draft.baseURL == oldDefaults.baseURL) {
        next.baseURL = newDefaults.baseURL;
    }
    if (draft.reasoningEffort == oldDefaults.reasoningEffort) {
        next.reasoningEffort = newDefaults.reasoningEffort;
    }
    next.model.clear();
    next.allowsScreenshots = false;
    return next;
}

std::optional<std::string> presetChangeTokenStatus(const TokenField& field, bool hasStoredToken,
                                                   const std::string& draftBaseURL,
                                                   const std::string& savedBaseURL) {
    if (!field.isEdited && hasStoredToken && !haveSameOrigin(draftBaseURL, savedBaseURL)) {
        return std::string(blockedTokenText);
    }
    return std::nullopt;
}

bool isLocalForScreenshots(const std::string& host) {
    std::string name = ProviderText::lowercased(host);
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
        name = name.substr(1, name.size() - 2);
    }
    return name == "localhost" || name == "127.0.0.1" || name == "::1";
}

SaveCheck checkBeforeSaving(const AIProviderProfile& draft, const std::optional<AIProviderProfile>& saved) {
    const AIProviderProfile profile = draft.sanitized();
    if (profile.model.empty()) {
        return {SaveCheck::Kind::blocked, modelRequiredText, {}};
    }
    try {
        profile.validate();
    } catch (const AIProviderProfileError& error) {
        return {SaveCheck::Kind::blocked, error.description(), {}};
    }
    if (profile.allowsScreenshots) {
        ProviderHTTP::URLParts parts;
        ProviderHTTP::parseURL(profile.baseURL, parts);
        const bool isLocal = isLocalForScreenshots(parts.hostAsWritten);
        const bool isNewConsent =
            !saved || !saved->allowsScreenshots || saved->sanitized().baseURL != profile.baseURL;
        if (!isLocal && isNewConsent) {
            return {
                SaveCheck::Kind::needsScreenshotConsent, screenshotQuestionText,
                "Screen contents may include private notifications, messages, or account information. Only "
                "continue if you trust " +
                    profile.name + "."};
        }
    }
    return {};
}

} // namespace VedevaveApp::AIProviderEditingRules
