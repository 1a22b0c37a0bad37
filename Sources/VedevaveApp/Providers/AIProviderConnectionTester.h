// Answers one question for a provider profile and an optional token: does the server answer, does it
// accept the token, and which models does it offer? Sends one model-list request and turns every
// outcome into a result with a one-line message; it never fails. Tests share one loader with its own
// limits (2 connections per host, 2 MiB per answer, at most 15 seconds per request). Coroutines on
// any executor may run tests concurrently.
#pragma once

#include "VedevaveApp/Providers/AIProviderProfile.h"

#include <asio/awaitable.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace VedevaveApp {

class BoundedURLSessionDataLoader;

struct AIProviderConnectionTestResult {
    bool succeeded = false;
    std::string message;
    std::vector<std::string> models;
    int64_t latencyMilliseconds = 0;
    std::optional<int> statusCode;
    bool operator==(const AIProviderConnectionTestResult&) const = default;
};

class AIProviderConnectionTester {
public:
    static constexpr size_t maximumResponseBytes = 2 * 1024 * 1024;
    static constexpr const char* cancelledText = "Connection test cancelled.";
    static constexpr const char* noHTTPResponseText = "The provider returned no HTTP response.";
    static constexpr const char* rejectedText = "Authentication was rejected";

    // Never throws; a cancelled test yields the cancelled result.
    static asio::awaitable<AIProviderConnectionTestResult> test(AIProviderProfile profile,
                                                                std::optional<std::string> token);

    // The request timeout for a profile: its own timeout held within 2...15 seconds.
    static std::chrono::milliseconds requestTimeout(const AIProviderProfile& profile);
    // The error detail of a failed answer: error.message, error, or message, cut to 240 characters.
    static std::optional<std::string> errorMessage(std::string_view body);
    // The model ids of a model list, trimmed, without empties and repeats; empty for other bodies.
    static std::vector<std::string> modelIDs(std::string_view body);

private:
    static BoundedURLSessionDataLoader& loader();
};

} // namespace VedevaveApp
