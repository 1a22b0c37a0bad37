#include "VedevaveApp/Providers/OpenAICompatibleChatProvider.h"

#include "Runtime/Clock.h"
#include "Runtime/Task.h"
#include "VedevaveApp/Providers/AgentProviderError.h"
#include "VedevaveApp/Providers/OpenAIChatWire.h"
#include "VedevaveApp/Providers/ProviderHTTP.h"
#include "VedevaveApp/Providers/ProviderText.h"

#include <algorithm>
#include <cmath>
#include <curl/curl.h>

namespace VedevaveApp {

namespace {

constexpr const char* notHTTPText = "base URL must be HTTP(S)";
constexpr const char* cannotFormURLText = "cannot form chat completions URL";
constexpr const char* modelRequiredText = "model is required";
constexpr const char* keyNewlineText = "API key contains an invalid newline";
constexpr const char* noMessagesText = "at least one message is required";
constexpr size_t errorBodyPrefixBytes = 4096;

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() >= 2 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string chatPath(std::string basePath, const std::optional<std::string>& customPath) {
    basePath = withoutTrailingSlashes(std::move(basePath));
    // The parser reports "/" for a URL without a path; either way there is no base path.
    if (basePath == "/") {
        basePath.clear();
    }
    const std::string custom = customPath ? ProviderText::trimmed(*customPath) : std::string();
    if (!custom.empty()) {
        if (custom.front() == '/') {
            return custom;
        }
        return basePath + "/" + custom;
    }
    if (basePath.ends_with("/chat/completions")) {
        return basePath;
    }
    if (basePath.ends_with("/v1")) {
        return basePath + "/chat/completions";
    }
    return basePath + "/v1/chat/completions";
}

std::chrono::milliseconds timeoutOf(double seconds) {
    if (!std::isfinite(seconds) || seconds <= 0) {
        seconds = 120;
    }
    return std::chrono::milliseconds(static_cast<int64_t>(std::min(seconds, 86400.0) * 1000));
}

} // namespace

OpenAICompatibleChatProvider::OpenAICompatibleChatProvider(AgentProviderConfiguration configuration)
    : configuration_(std::move(configuration)), loader_(std::make_unique<BoundedURLSessionDataLoader>(2)) {}

std::string OpenAICompatibleChatProvider::chatCompletionsURL() const {
    ProviderHTTP::URLParts parts;
    if (!ProviderHTTP::parseURL(configuration_.baseURL, parts) ||
        (parts.scheme != "http" && parts.scheme != "https") || parts.host.empty()) {
        throw AgentProviderError::invalidConfiguration(notHTTPText);
    }
    auto url = ProviderHTTP::replacingPath(configuration_.baseURL,
                                           chatPath(parts.path, configuration_.chatCompletionsPath));
    if (!url) {
        throw AgentProviderError::invalidConfiguration(cannotFormURLText);
    }
    return *url;
}

bool OpenAICompatibleChatProvider::isOpenAIHost() const {
    ProviderHTTP::URLParts parts;
    if (!ProviderHTTP::parseURL(configuration_.baseURL, parts) || parts.host.empty()) {
        return false;
    }
    const std::string host = ProviderText::lowercased(parts.host);
    return host == openAIAPIHost || host.ends_with(std::string(".") + openAIDomain);
}

bool OpenAICompatibleChatProvider::isOpenAIReasoningModel(const std::string& model) {
    const std::string name = ProviderText::lowercased(ProviderText::trimmed(model));
    return name.starts_with("gpt-5") || name.starts_with("o1") || name.starts_with("o3") ||
           name.starts_with("o4");
}

std::string OpenAICompatibleChatProvider::tokenLimitParameter(const std::string& model) const {
    return isOpenAIHost() || isOpenAIReasoningModel(model) ? "max_completion_tokens" : "max_tokens";
}

AIReasoningEffort
OpenAICompatibleChatProvider::reasoningEffortParameter(std::optional<AIReasoningEffort> override) const {
    if (override) {
        return *override;
    }
    // OpenAI's models reject "none"; leaving the key out asks for their own default.
    if (configuration_.reasoningEffort == AIReasoningEffort::none && isOpenAIHost()) {
        return AIReasoningEffort::providerDefault;
    }
    return configuration_.reasoningEffort;
}

asio::awaitable<AgentChatResponse> OpenAICompatibleChatProvider::complete(AgentChatRequest request) {
    co_await Runtime::checkCancellation();
    const std::string url = chatCompletionsURL();

    std::string model = request.model ? ProviderText::trimmed(*request.model) : std::string();
    if (model.empty()) {
        model = ProviderText::trimmed(configuration_.model);
    }
    if (model.empty()) {
        throw AgentProviderError::invalidConfiguration(modelRequiredText);
    }
    if (request.messages.empty()) {
        throw AgentProviderError::invalidRequest(noMessagesText);
    }

    OpenAIChatWire::RequestOptions options;
    options.model = model;
    options.tokenLimitKey = tokenLimitParameter(model);
    options.includesTemperature = !isOpenAIReasoningModel(model);
    options.reasoningEffort =
        AIReasoningEffortText::requestValue(reasoningEffortParameter(request.reasoningEffortOverride));

    Runtime::HttpRequest http;
    http.method = "POST";
    http.url = url;
    http.timeout = timeoutOf(configuration_.timeout);
    http.body = OpenAIChatWire::encodeRequest(request, options);
    http.headers = {{"Content-Type", "application/json"}, {"Accept", "application/json"}};
    for (const auto& [name, value] : configuration_.additionalHeaders) {
        const std::string trimmedName = ProviderText::trimmed(name);
        if (ProviderHTTP::isSafeHeader(trimmedName, value)) {
            ProviderHTTP::setHeader(http.headers, trimmedName, value);
        }
    }
    if (configuration_.apiKey) {
        const std::string key = ProviderText::trimmed(*configuration_.apiKey);
        if (ProviderText::containsLineBreak(key)) {
            throw AgentProviderError::invalidConfiguration(keyNewlineText);
        }
        if (!key.empty()) {
            ProviderHTTP::setHeader(http.headers, "Authorization", "Bearer " + key);
        }
    }

    const uint64_t start = Runtime::monotonicNow();
    Runtime::HttpResponse response;
    try {
        response = co_await loader_->data(std::move(http), maximumResponseBytes);
    } catch (const BoundedURLSessionDataError& error) {
        throw AgentProviderError::invalidResponse(error.description());
    }
    co_await Runtime::checkCancellation();
    const uint64_t end = Runtime::monotonicNow();

    if (response.status < 200 || response.status > 299) {
        const auto status = static_cast<int>(response.status);
        std::string detail = ProviderText::trimmed(
            ProviderText::decodingLossily(std::string_view(response.body).substr(0, errorBodyPrefixBytes)));
        if (detail.empty()) {
            detail = reasonPhrase(status);
        }
        throw AgentProviderError::http(status, detail);
    }

    AgentChatResponse result = OpenAIChatWire::decodeResponse(response.body, model);
    result.latencyMilliseconds = static_cast<double>(end - start) / 1'000'000.0;
    co_return result;
}

std::string OpenAICompatibleChatProvider::reasonPhrase(int status) {
    return ProviderHTTP::reasonPhrase(status);
}

} // namespace VedevaveApp
