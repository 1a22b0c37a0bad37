// The provider-neutral values through which the application talks to a chat model: requests of
// role-tagged messages with optional screenshots and tools, and responses of text, tool calls and
// token usage. Plain values; any thread may use them. Nothing here performs input or output.
#pragma once

#include "VedevaveApp/Providers/AgentJSONValue.h"

#include <asio/awaitable.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace VedevaveApp {

enum class AIReasoningEffort { providerDefault, none, low, medium, high };

namespace AIReasoningEffortText {
std::string_view raw(AIReasoningEffort effort);
std::optional<AIReasoningEffort> fromRaw(std::string_view text); // nothing outside the five texts
// The wire value; nothing for providerDefault, which leaves the choice to the server.
std::optional<std::string> requestValue(AIReasoningEffort effort);
} // namespace AIReasoningEffortText

enum class AgentChatRole { system, user, assistant, tool };
std::string_view rawText(AgentChatRole role);
std::optional<AgentChatRole> agentChatRoleFromRaw(std::string_view text);

struct AgentChatImage {
    enum class Detail { automatic, low, high }; // raw texts "auto", "low", "high"
    std::string dataURL; // "data:image/jpeg;base64,..."; other forms are refused when sent
    Detail detail = Detail::automatic;
    bool operator==(const AgentChatImage&) const = default;
};
std::string_view rawText(AgentChatImage::Detail detail);
std::optional<AgentChatImage::Detail> agentChatImageDetailFromRaw(std::string_view text);

struct AgentChatMessage {
    AgentChatRole role = AgentChatRole::user;
    std::string text;
    std::vector<AgentChatImage> images;
    bool operator==(const AgentChatMessage&) const = default;
};

struct AgentToolDefinition {
    std::string name;
    std::string description;
    AgentJSONValue inputSchema; // a JSON Schema object for the arguments
    bool operator==(const AgentToolDefinition&) const = default;
};

struct AgentToolChoice {
    enum class Kind { automatic, none, required, named };
    Kind kind = Kind::automatic;
    std::string name; // the tool, for `named` only

    static AgentToolChoice automatic() { return {Kind::automatic, {}}; }
    static AgentToolChoice none() { return {Kind::none, {}}; }
    static AgentToolChoice required() { return {Kind::required, {}}; }
    static AgentToolChoice named(std::string tool) { return {Kind::named, std::move(tool)}; }
    bool operator==(const AgentToolChoice&) const = default;
};

struct AgentChatRequest {
    std::vector<AgentChatMessage> messages; // must not be empty
    std::vector<AgentToolDefinition> tools; // empty: no tool fields are sent
    AgentToolChoice toolChoice;             // sent only with tools
    std::optional<std::string> model;       // overrides the configured model when not blank
    double temperature = 0.2;
    int64_t maxTokens = 1024;
    std::optional<AIReasoningEffort> reasoningEffortOverride;
    bool operator==(const AgentChatRequest&) const = default;
};

struct AgentToolCall {
    std::string id;
    std::string name; // trimmed
    AgentJSONValue arguments;
    std::string rawArguments; // as the server sent them when they came as text
    bool operator==(const AgentToolCall&) const = default;
};

struct AgentTokenUsage {
    int64_t promptTokens = 0;
    int64_t completionTokens = 0;
    int64_t totalTokens = 0;
    bool operator==(const AgentTokenUsage&) const = default;

    // JSON form: an object with exactly these three keys, all required when read. Reading fails
    // with AgentJSONError on a missing, mistyped or negative count.
    std::string jsonText() const;
    static AgentTokenUsage fromJSONText(std::string_view text);
};

struct AgentChatResponse {
    std::optional<std::string> id;
    std::string model;
    std::string text;
    std::vector<AgentToolCall> toolCalls;
    std::optional<std::string> finishReason;
    AgentTokenUsage usage;
    double latencyMilliseconds = 0;
    bool operator==(const AgentChatResponse&) const = default;
};

// Everything one provider instance needs, fixed when it is created.
struct AgentProviderConfiguration {
    std::string name;
    std::string baseURL;
    std::optional<std::string> apiKey; // sent as a bearer token
    std::string model;
    std::optional<std::string> chatCompletionsPath;
    std::vector<std::pair<std::string, std::string>> additionalHeaders; // sent in this order
    AIReasoningEffort reasoningEffort = AIReasoningEffort::providerDefault;
    double timeout = 120; // seconds
};

// The model interface. `complete` fails with AgentProviderError, a transport error passed through
// (Runtime::HttpError) or Runtime::CancellationError. Implementations are safe to call from
// several coroutines at once.
class AgentLLMProvider {
public:
    virtual ~AgentLLMProvider() = default;
    virtual asio::awaitable<AgentChatResponse> complete(AgentChatRequest request) = 0;
};

} // namespace VedevaveApp
