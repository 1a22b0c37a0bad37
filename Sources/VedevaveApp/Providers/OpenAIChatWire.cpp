#include "VedevaveApp/Providers/OpenAIChatWire.h"

#include "VedevaveApp/Providers/AgentProviderError.h"
#include "VedevaveApp/Providers/ProviderJSON.h"
#include "VedevaveApp/Providers/ProviderText.h"

#include <cmath>
#include <limits>

namespace VedevaveApp::OpenAIChatWire {

namespace {

using Json = nlohmann::json;

constexpr const char* invalidImageText = "images must use a base64 data:image URL";
constexpr const char* noChoicesText = "response contains no choices";
constexpr const char* noFunctionNameText = "tool call has no function name";

// ---- request ----

Json encodeContent(const AgentChatMessage& message) {
    if (message.images.empty()) {
        return message.text;
    }
    auto parts = Json::array();
    if (!message.text.empty()) {
        parts.push_back({{"type", "text"}, {"text", message.text}});
    }
    for (const auto& image : message.images) {
        const std::string url = ProviderText::trimmed(image.dataURL);
        const std::string lowered = ProviderText::lowercased(url);
        if (!lowered.starts_with("data:image/") || lowered.find(";base64,") == std::string::npos) {
            throw AgentProviderError::invalidRequest(invalidImageText);
        }
        parts.push_back({{"type", "image_url"},
                         {"image_url", {{"url", url}, {"detail", std::string(rawText(image.detail))}}}});
    }
    return parts;
}

Json encodeToolChoice(const AgentToolChoice& choice) {
    switch (choice.kind) {
    case AgentToolChoice::Kind::none:
        return "none";
    case AgentToolChoice::Kind::required:
        return "required";
    case AgentToolChoice::Kind::named:
        return {{"type", "function"}, {"function", {{"name", choice.name}}}};
    case AgentToolChoice::Kind::automatic:
        break;
    }
    return "auto";
}

// ---- response ----

[[noreturn]] void fail(const std::string& message) {
    throw AgentProviderError::invalidResponse(message);
}

// A member that is present and not null; servers write null for "absent" as often as they omit it.
const Json* presentMember(const Json& object, const char* key) {
    auto found = object.find(key);
    if (found == object.end() || found->is_null()) {
        return nullptr;
    }
    return &*found;
}

const Json& requiredObject(const Json& object, const char* key, const std::string& path) {
    const Json* member = presentMember(object, key);
    if (!member) {
        fail("\"" + path + "\" is missing");
    }
    if (!member->is_object()) {
        fail("\"" + path + "\" must be an object");
    }
    return *member;
}

std::optional<std::string> optionalString(const Json& object, const char* key, const std::string& path) {
    const Json* member = presentMember(object, key);
    if (!member) {
        return std::nullopt;
    }
    if (!member->is_string()) {
        fail("\"" + path + "\" must be a string");
    }
    return member->get<std::string>();
}

const Json* optionalArray(const Json& object, const char* key, const std::string& path) {
    const Json* member = presentMember(object, key);
    if (member && !member->is_array()) {
        fail("\"" + path + "\" must be an array");
    }
    return member;
}

std::optional<int64_t> optionalCount(const Json& usage, const char* key) {
    const Json* member = presentMember(usage, key);
    if (!member) {
        return std::nullopt;
    }
    if (member->is_number_unsigned()) {
        return static_cast<int64_t>(std::min<uint64_t>(member->get<uint64_t>(), INT64_MAX));
    }
    if (member->is_number_integer()) {
        return member->get<int64_t>();
    }
    // Some servers write counts as 12.0.
    if (member->is_number_float()) {
        const double value = member->get<double>();
        if (std::trunc(value) == value && std::fabs(value) < 9.2e18) {
            return static_cast<int64_t>(value);
        }
    }
    fail(std::string("\"usage.") + key + "\" must be a whole number");
}

AgentTokenUsage decodeUsage(const Json& body) {
    const Json* usage = presentMember(body, "usage");
    if (!usage) {
        return {};
    }
    if (!usage->is_object()) {
        fail("\"usage\" must be an object");
    }
    AgentTokenUsage result;
    result.promptTokens = std::max<int64_t>(0, optionalCount(*usage, "prompt_tokens").value_or(0));
    result.completionTokens = std::max<int64_t>(0, optionalCount(*usage, "completion_tokens").value_or(0));
    const auto total = optionalCount(*usage, "total_tokens");
    if (total) {
        result.totalTokens = std::max<int64_t>(0, *total);
    } else {
        result.totalTokens = result.promptTokens > INT64_MAX - result.completionTokens
                                 ? INT64_MAX
                                 : result.promptTokens + result.completionTokens;
    }
    return result;
}

AgentToolCall decodeToolCall(const Json& call, const std::string& path, const std::string& fallbackID) {
    if (!call.is_object()) {
        fail("\"" + path + "\" must be an object");
    }
    const auto id = optionalString(call, "id", path + ".id");
    const Json& function = requiredObject(call, "function", path + ".function");
    auto nameMember = function.find("name");
    if (nameMember == function.end() || nameMember->is_null()) {
        fail("\"" + path + ".function.name\" is missing");
    }
    if (!nameMember->is_string()) {
        fail("\"" + path + ".function.name\" must be a string");
    }
    AgentToolCall result;
    result.id = id.value_or(fallbackID);
    result.name = ProviderText::trimmed(nameMember->get<std::string>());
    if (result.name.empty()) {
        fail(noFunctionNameText);
    }
    auto arguments = function.find("arguments");
    if (arguments == function.end()) {
        fail("\"" + path + ".function.arguments\" is missing");
    }
    if (arguments->is_string()) {
        result.rawArguments = arguments->get<std::string>();
        try {
            result.arguments = AgentJSONValue::parse(result.rawArguments);
        } catch (const AgentJSONError& error) {
            throw AgentProviderError::invalidToolArguments(result.name, error.description());
        }
    } else {
        try {
            result.arguments = ProviderJSON::toAgentJSON(*arguments);
            result.rawArguments = result.arguments.serialized();
        } catch (const AgentJSONError& error) {
            fail(error.description());
        }
    }
    return result;
}

std::vector<AgentToolCall> normalizedToolCalls(const Json& message, const std::string& path) {
    std::vector<AgentToolCall> calls;
    const Json* toolCalls = optionalArray(message, "tool_calls", path + ".tool_calls");
    if (toolCalls && !toolCalls->empty()) {
        calls.reserve(toolCalls->size());
        for (size_t i = 0; i < toolCalls->size(); ++i) {
            calls.push_back(decodeToolCall((*toolCalls)[i], path + ".tool_calls[" + std::to_string(i) + "]",
                                           "call_" + std::to_string(i)));
        }
        return calls;
    }
    if (const Json* legacy = presentMember(message, "function_call")) {
        if (!legacy->is_object()) {
            fail("\"" + path + ".function_call\" must be an object");
        }
        // The older single-call form carries the function itself, without an id.
        Json call = {{"id", "legacy_function_call"}, {"function", *legacy}};
        calls.push_back(decodeToolCall(call, path + ".function_call", "legacy_function_call"));
    }
    return calls;
}

std::string normalizedText(const Json& message, const std::string& path) {
    const Json* content = presentMember(message, "content");
    if (content && content->is_array()) {
        std::string joined;
        for (const auto& part : *content) {
            if (!part.is_object()) {
                continue;
            }
            auto text = part.find("text");
            auto nested = part.find("content");
            if (text != part.end() && text->is_string()) {
                joined += text->get_ref<const std::string&>();
            } else if (nested != part.end() && nested->is_string()) {
                joined += nested->get_ref<const std::string&>();
            }
        }
        if (!joined.empty()) {
            return joined;
        }
    } else if (content && content->is_string() && !content->get_ref<const std::string&>().empty()) {
        return content->get<std::string>();
    }
    return optionalString(message, "reasoning_content", path + ".reasoning_content").value_or("");
}

} // namespace

std::string encodeRequest(const AgentChatRequest& request, const RequestOptions& options) {
    Json body = Json::object();
    body["model"] = options.model;
    auto messages = Json::array();
    for (const auto& message : request.messages) {
        messages.push_back(
            {{"role", std::string(rawText(message.role))}, {"content", encodeContent(message)}});
    }
    body["messages"] = std::move(messages);
    try {
        if (!request.tools.empty()) {
            auto tools = Json::array();
            for (const auto& tool : request.tools) {
                tools.push_back({{"type", "function"},
                                 {"function",
                                  {{"name", tool.name},
                                   {"description", tool.description},
                                   {"parameters", ProviderJSON::toLibraryJSON(tool.inputSchema)}}}});
            }
            body["tools"] = std::move(tools);
            body["tool_choice"] = encodeToolChoice(request.toolChoice);
        }
        if (options.includesTemperature) {
            if (!std::isfinite(request.temperature)) {
                throw AgentJSONError("temperature is not a finite number");
            }
            body["temperature"] = request.temperature;
        }
        if (options.reasoningEffort) {
            body["reasoning_effort"] = *options.reasoningEffort;
        }
        body["stream"] = false;
        body[options.tokenLimitKey] = request.maxTokens;
        return ProviderJSON::dump(body);
    } catch (const AgentJSONError& error) {
        throw AgentProviderError::invalidRequest(error.description());
    }
}

AgentChatResponse decodeResponse(std::string_view bodyText, const std::string& requestedModel) {
    Json body;
    try {
        body = ProviderJSON::parse(bodyText);
    } catch (const AgentJSONError& error) {
        fail(error.description());
    }
    if (!body.is_object()) {
        fail("the answer is not a JSON object");
    }
    const Json* choices = optionalArray(body, "choices", "choices");
    if (!choices) {
        fail("\"choices\" is missing");
    }
    if (choices->empty()) {
        fail(noChoicesText);
    }
    const Json& choice = choices->front();
    if (!choice.is_object()) {
        fail("\"choices[0]\" must be an object");
    }
    const Json& message = requiredObject(choice, "message", "choices[0].message");

    AgentChatResponse response;
    response.id = optionalString(body, "id", "id");
    const auto model = optionalString(body, "model", "model");
    response.model = model && !model->empty() ? *model : requestedModel;
    response.finishReason = optionalString(choice, "finish_reason", "choices[0].finish_reason");
    response.toolCalls = normalizedToolCalls(message, "choices[0].message");
    response.text = normalizedText(message, "choices[0].message");
    response.usage = decodeUsage(body);
    return response;
}

} // namespace VedevaveApp::OpenAIChatWire
