#include "VedevaveApp/Providers/AIProviderConnectionTester.h"

#include "Runtime/Clock.h"
#include "Runtime/Task.h"
#include "VedevaveApp/Providers/BoundedURLSessionDataLoader.h"
#include "VedevaveApp/Providers/ProviderJSON.h"
#include "VedevaveApp/Providers/ProviderText.h"

#include <algorithm>
#include <asio/error.hpp>
#include <cmath>

namespace VedevaveApp {

namespace {

constexpr size_t maximumDetailCharacters = 240;

int64_t millisecondsSince(uint64_t start) {
    return static_cast<int64_t>((Runtime::monotonicNow() - start) / 1'000'000);
}

AIProviderConnectionTestResult failure(std::string message, int64_t latency = 0,
                                       std::optional<int> status = std::nullopt) {
    return {false, std::move(message), {}, latency, status};
}

std::optional<std::string> bounded(const std::string& text) {
    std::string trimmed = ProviderText::trimmed(text);
    if (trimmed.empty()) {
        return std::nullopt;
    }
    return ProviderText::prefixCharacters(trimmed, maximumDetailCharacters);
}

} // namespace

BoundedURLSessionDataLoader& AIProviderConnectionTester::loader() {
    static BoundedURLSessionDataLoader shared(2);
    return shared;
}

std::chrono::milliseconds AIProviderConnectionTester::requestTimeout(const AIProviderProfile& profile) {
    double seconds = profile.requestTimeoutSeconds;
    seconds = std::isnan(seconds) ? 15 : std::clamp(seconds, 2.0, 15.0);
    return std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
}

std::optional<std::string> AIProviderConnectionTester::errorMessage(std::string_view body) {
    nlohmann::json document;
    try {
        document = ProviderJSON::parse(body);
    } catch (const AgentJSONError&) {
        return std::nullopt;
    }
    if (!document.is_object()) {
        return std::nullopt;
    }
    const auto error = document.find("error");
    if (error != document.end()) {
        if (error->is_object()) {
            const auto message = error->find("message");
            if (message != error->end() && message->is_string()) {
                return bounded(message->get<std::string>());
            }
        } else if (error->is_string()) {
            return bounded(error->get<std::string>());
        }
    }
    const auto message = document.find("message");
    if (message != document.end() && message->is_string()) {
        return bounded(message->get<std::string>());
    }
    return std::nullopt;
}

std::vector<std::string> AIProviderConnectionTester::modelIDs(std::string_view body) {
    std::vector<std::string> models;
    nlohmann::json document;
    try {
        document = ProviderJSON::parse(body);
    } catch (const AgentJSONError&) {
        return models;
    }
    // Both keys are required; one malformed entry makes the whole list unreadable.
    if (!document.is_object() || !document.contains("data") || !document["data"].is_array()) {
        return models;
    }
    std::vector<std::string> ids;
    for (const auto& entry : document["data"]) {
        if (!entry.is_object() || !entry.contains("id") || !entry["id"].is_string()) {
            return models;
        }
        ids.push_back(entry["id"].get<std::string>());
    }
    for (const auto& id : ids) {
        std::string model = ProviderText::trimmed(id);
        if (!model.empty() && std::find(models.begin(), models.end(), model) == models.end()) {
            models.push_back(std::move(model));
        }
    }
    return models;
}

asio::awaitable<AIProviderConnectionTestResult>
AIProviderConnectionTester::test(AIProviderProfile profile, std::optional<std::string> token) {
    const AIProviderProfile sanitized = profile.sanitized();
    std::string url;
    try {
        sanitized.validate();
        if (sanitized.adapterIdentifier != AIProviderProfile::chatCompletionsAdapter) {
            co_return failure("No built-in connection test exists for adapter \u201C" +
                              sanitized.adapterIdentifier + "\u201D.");
        }
        url = sanitized.endpoint("models");
    } catch (const AIProviderProfileError& error) {
        co_return failure(error.description());
    }

    Runtime::HttpRequest request;
    request.method = "GET";
    request.url = url;
    request.timeout = requestTimeout(sanitized);
    request.headers = {{"Accept", "application/json"}};
    sanitized.applyAuthentication(token, request.headers);

    const uint64_t start = Runtime::monotonicNow();
    Runtime::HttpResponse response;
    std::optional<std::string> loadFailure;
    try {
        response = co_await loader().data(std::move(request), maximumResponseBytes);
    } catch (const Runtime::CancellationError&) {
        co_return failure(cancelledText);
    } catch (const BoundedURLSessionDataError& error) {
        loadFailure = error.kind() == BoundedURLSessionDataError::Kind::missingResponse ? noHTTPResponseText
                                                                                        : error.description();
    } catch (const std::system_error& error) {
        if (error.code() == asio::error::operation_aborted) {
            co_return failure(cancelledText);
        }
        loadFailure = error.what();
    } catch (const std::exception& error) {
        loadFailure = error.what();
    }
    if (loadFailure) {
        co_return failure(*loadFailure, millisecondsSince(start));
    }
    const int64_t latency = millisecondsSince(start);
    const int status = static_cast<int>(response.status);

    if (status < 200 || status > 299) {
        std::string head = status == 401 || status == 403
                               ? std::string(rejectedText)
                               : "Provider returned HTTP " + std::to_string(status);
        if (auto detail = errorMessage(response.body)) {
            head += ": " + *detail;
        }
        co_return failure(head, latency, status);
    }

    AIProviderConnectionTestResult result;
    result.succeeded = true;
    result.models = modelIDs(response.body);
    result.latencyMilliseconds = latency;
    result.statusCode = status;
    const size_t count = result.models.size();
    result.message = count == 0 ? std::string("connected; no models were reported")
                                : "connected; " + std::to_string(count) +
                                      (count == 1 ? " model" : " models") + " available";
    result.message += " in " + std::to_string(latency) + " ms";
    co_return result;
}

} // namespace VedevaveApp
