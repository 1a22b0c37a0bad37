// The chat-completions client: turns one AgentChatRequest into one non-streaming POST to an
// OpenAI-compatible server (OpenAI, LM Studio and the like) and its JSON answer into an
// AgentChatResponse. It adapts a few fields to the server and model (token-limit key, temperature,
// reasoning effort) and maps every failure to AgentProviderError. Created once per resolved provider
// profile; its fields never change, so any number of coroutines may call `complete` at once.
#pragma once

#include "VedevaveApp/Providers/AgentChatTypes.h"
#include "VedevaveApp/Providers/BoundedURLSessionDataLoader.h"

#include <memory>
#include <string>

namespace VedevaveApp {

class OpenAICompatibleChatProvider final : public AgentLLMProvider {
public:
    // Model answers larger than this are refused (a chat answer is a few KiB).
    static constexpr size_t maximumResponseBytes = 2 * 1024 * 1024;
    // OpenAI's own service; these hosts get its parameter rules.
    static constexpr const char* openAIAPIHost = "api.openai.com";
    static constexpr const char* openAIDomain = "openai.com";

    explicit OpenAICompatibleChatProvider(AgentProviderConfiguration configuration);

    const AgentProviderConfiguration& configuration() const { return configuration_; }

    // Yields the response, or fails with AgentProviderError, a transport Runtime::HttpError
    // (time-out, refused connection) as it came, or Runtime::CancellationError.
    asio::awaitable<AgentChatResponse> complete(AgentChatRequest request) override;

    // The endpoint URL; fails with invalidConfiguration.
    std::string chatCompletionsURL() const;
    // "max_completion_tokens" for OpenAI hosts and reasoning models, else "max_tokens".
    std::string tokenLimitParameter(const std::string& model) const;
    // The effort to send: the override when given, else the configured one (which an OpenAI host
    // receives as the provider default when it is `none`).
    AIReasoningEffort reasoningEffortParameter(std::optional<AIReasoningEffort> override) const;
    bool isOpenAIHost() const;

    static bool isOpenAIReasoningModel(const std::string& model);
    // The standard reason phrase of an HTTP status, for error answers without a body.
    static std::string reasonPhrase(int status);

private:
    AgentProviderConfiguration configuration_;
    std::unique_ptr<BoundedURLSessionDataLoader> loader_;
};

} // namespace VedevaveApp
