// The secret remote clients of the local API must present. Created on first use from the system's
// random source and kept in the preference store, so that scripts on other machines keep working
// across restarts. Any thread.
#pragma once

#include "Platform/PreferenceStore.h"

#include <string>

namespace VedevaveApp::LocalAPIToken {

inline constexpr const char* preferenceKey = "vedevave.apiToken";

// 32 random bytes as 64 lower-case hex digits. Throws std::runtime_error when the random source
// fails (the server then admits no remote client).
std::string generate();

// The stored token, or a new one that is stored first. A stored value that is not a usable token
// (not text, too short) is replaced.
std::string loadOrCreate(Platform::PreferenceStore& store);

} // namespace VedevaveApp::LocalAPIToken
