// The decisions of the provider settings screen, kept apart from any toolkit so that both the
// window and tests use the same rules: which token update a save makes, which token a connection
// test may send, what switching presets changes, and what must be confirmed before saving.
//
// A token belongs to the origin (scheme, host and port) it was entered for: changing a profile's
// server never silently sends the old server's token to the new one. Pure functions; any thread.
#pragma once

#include "VedevaveApp/Providers/AIProviderProfile.h"
#include "VedevaveApp/Providers/AIProviderStore.h"

#include <optional>
#include <string>

namespace VedevaveApp::AIProviderEditingRules {

constexpr const char* blockedTokenText =
    "The saved token is blocked for this new host. Enter its token if required.";
constexpr const char* modelRequiredText = "Choose a chat/tool-capable model before saving.";
constexpr const char* screenshotQuestionText = "Send iPhone screenshots to a remote provider?";
constexpr const char* allowAndSaveButton = "Allow & Save";
constexpr const char* cancelButton = "Cancel";

// "scheme://host:port" in lower case, the port made explicit (443 for https, 80 for http, -1 for
// other schemes); nothing when the URL does not parse or lacks a scheme or host.
std::optional<std::string> origin(const std::string& baseURL);
bool haveSameOrigin(const std::string& baseURL, const std::string& otherBaseURL); // two missing origins match

// The token field as the screen holds it.
struct TokenField {
    bool isEdited = false;
    std::string text;
};

// What saving does to the stored token of the saved profile.
AIProviderTokenUpdate tokenUpdateForSave(const TokenField& field, bool hasStoredToken,
                                         const std::string& draftBaseURL, const std::string& savedBaseURL);

// The token a connection test started from the screen sends (nothing to send none).
std::optional<std::string> tokenForConnectionTest(const TokenField& field,
                                                  const std::optional<std::string>& storedToken,
                                                  const std::string& draftBaseURL,
                                                  const std::string& savedBaseURL);

// The draft after the user picks another preset: name, base URL and effort follow the new preset
// where they still hold the old preset's default (or are empty); the model is cleared and
// screenshots are turned off.
AIProviderProfile applyingPresetChange(const AIProviderProfile& draft, AIProviderPreset newPreset);

// The status line after a preset change: the blocked-token notice, or nothing to clear the line.
std::optional<std::string> presetChangeTokenStatus(const TokenField& field, bool hasStoredToken,
                                                   const std::string& draftBaseURL,
                                                   const std::string& savedBaseURL);

// Whether a host counts as local for the screenshot question (narrower than loopback).
bool isLocalForScreenshots(const std::string& host);

struct SaveCheck {
    enum class Kind { ready, blocked, needsScreenshotConsent };
    Kind kind = Kind::ready;
    std::string message;         // blocked: shown in red; consent: the question
    std::string informativeText; // consent only
};

// What must happen before the draft is stored: a missing model or a validation message blocks it;
// screenshots going to a remote host for the first time (or to a new base URL) need consent.
SaveCheck checkBeforeSaving(const AIProviderProfile& draft, const std::optional<AIProviderProfile>& saved);

} // namespace VedevaveApp::AIProviderEditingRules
