// The chat-completions wire format: building the JSON body of one request and reading the JSON
// answer into an AgentChatResponse. Pure: bytes in, values out, no network. Servers differ in how
// they return text and tool calls (content arrays, null content beside "reasoning_content", the
// older single "function_call", arguments as JSON text or as an object); the reader accepts them
// all. Failures are AgentProviderError values. Any thread may call.
#pragma once

#include "VedevaveApp/Providers/AgentChatTypes.h"

#include <optional>
#include <string>
#include <string_view>

namespace VedevaveApp::OpenAIChatWire {

struct RequestOptions {
    std::string model;         // resolved, not blank
    std::string tokenLimitKey; // "max_tokens" or "max_completion_tokens"
    bool includesTemperature = true;
    std::optional<std::string> reasoningEffort; // wire value, absent to leave it out
};

// The request body as JSON text. Fails with invalidRequest for images that are not base64
// data:image URLs and for values JSON cannot carry.
std::string encodeRequest(const AgentChatRequest& request, const RequestOptions& options);

// Reads a 2xx answer. `requestedModel` stands in when the server names no model. Latency is left 0.
// Fails with invalidResponse (malformed body, no choices, a tool call without a name) or
// invalidToolArguments (arguments text that is not JSON).
AgentChatResponse decodeResponse(std::string_view body, const std::string& requestedModel);

} // namespace VedevaveApp::OpenAIChatWire
