// The chat-completions wire format without a network: request bodies and every answer shape.
#include "VedevaveApp/Providers/AgentProviderError.h"
#include "VedevaveApp/Providers/OpenAIChatWire.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace VedevaveApp;
using nlohmann::json;

namespace {

const std::string jpeg = "data:image/jpeg;base64,/9j/4AAQ";

json encoded(const AgentChatRequest& request,
             OpenAIChatWire::RequestOptions options = {"m", "max_tokens", true, {}}) {
    return json::parse(OpenAIChatWire::encodeRequest(request, options));
}

AgentChatResponse decoded(const std::string& body) {
    return OpenAIChatWire::decodeResponse(body, "requested");
}

std::string failureOf(const std::string& body) {
    try {
        decoded(body);
    } catch (const AgentProviderError& error) {
        return error.description();
    }
    return "no failure";
}

std::string withMessage(const std::string& message) {
    return R"({"choices":[{"message":)" + message + "}]}";
}

} // namespace

TEST(ChatWireRequest, MessageContentIsTextOrParts) {
    AgentChatRequest request;
    request.messages = {
        {AgentChatRole::system, "rules", {}},
        {AgentChatRole::user,
         "look",
         {{jpeg, AgentChatImage::Detail::low}, {" " + jpeg + "\n", AgentChatImage::Detail::high}}},
        {AgentChatRole::user, "", {{jpeg, AgentChatImage::Detail::automatic}}},
        {AgentChatRole::assistant, "", {}},
    };
    const json body = encoded(request);
    EXPECT_EQ(body["messages"][0], json({{"role", "system"}, {"content", "rules"}}));
    const json parts = body["messages"][1]["content"];
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0], json({{"type", "text"}, {"text", "look"}}));
    EXPECT_EQ(parts[1], json({{"type", "image_url"}, {"image_url", {{"url", jpeg}, {"detail", "low"}}}}));
    EXPECT_EQ(parts[2]["image_url"]["url"], jpeg); // trimmed
    EXPECT_EQ(body["messages"][2]["content"],
              json::array({{{"type", "image_url"}, {"image_url", {{"url", jpeg}, {"detail", "auto"}}}}}));
    EXPECT_EQ(body["messages"][3]["content"], ""); // an empty text is still a string
    EXPECT_EQ(body["stream"], false);
    EXPECT_FALSE(body.contains("tools"));
    EXPECT_FALSE(body.contains("tool_choice"));
}

TEST(ChatWireRequest, OnlyBase64ImageDataURLsAreSent) {
    for (const std::string url : {"DATA:IMAGE/PNG;BASE64,iVBOR", "data:image/png;base64,iVBOR"}) {
        AgentChatRequest request;
        request.messages = {{AgentChatRole::user, "", {{url, AgentChatImage::Detail::automatic}}}};
        EXPECT_NO_THROW(encoded(request)) << url;
    }
    for (const std::string url :
         {"https://example.com/a.jpg", "data:text/plain;base64,aGk=", "data:image/png,raw"}) {
        AgentChatRequest request;
        request.messages = {{AgentChatRole::user, "", {{url, AgentChatImage::Detail::automatic}}}};
        try {
            encoded(request);
            ADD_FAILURE() << url;
        } catch (const AgentProviderError& error) {
            EXPECT_EQ(error.description(), "Invalid LLM request: images must use a base64 data:image URL");
        }
    }
}

TEST(ChatWireRequest, ToolsChoicesAndAdaptedFields) {
    AgentChatRequest request;
    request.messages = {{AgentChatRole::user, "go", {}}};
    request.tools = {
        {"perform_phone_actions", "Acts", AgentJSONValue::parse(R"({"type":"object","maxItems":3})")}};
    request.maxTokens = 700;
    request.temperature = 0.25;
    const std::pair<AgentToolChoice, json> choices[] = {
        {AgentToolChoice::automatic(), "auto"},
        {AgentToolChoice::none(), "none"},
        {AgentToolChoice::required(), "required"},
        {AgentToolChoice::named("perform_phone_actions"),
         {{"type", "function"}, {"function", {{"name", "perform_phone_actions"}}}}},
    };
    for (const auto& [choice, expected] : choices) {
        request.toolChoice = choice;
        EXPECT_EQ(encoded(request)["tool_choice"], expected);
    }
    const json body = encoded(request, {"o3-mini", "max_completion_tokens", false, "low"});
    EXPECT_EQ(body["tools"][0], json::parse(R"({"type":"function","function":{"name":"perform_phone_actions",
        "description":"Acts","parameters":{"type":"object","maxItems":3}}})"));
    EXPECT_EQ(body["model"], "o3-mini");
    EXPECT_EQ(body["max_completion_tokens"], 700);
    EXPECT_FALSE(body.contains("max_tokens"));
    EXPECT_FALSE(body.contains("temperature"));
    EXPECT_EQ(body["reasoning_effort"], "low");
    const json plain = encoded(request);
    EXPECT_EQ(plain["temperature"], 0.25);
    EXPECT_EQ(plain["max_tokens"], 700);
    EXPECT_FALSE(plain.contains("reasoning_effort"));
}

TEST(ChatWireRequest, ValuesJSONCannotCarryAreInvalidRequests) {
    AgentChatRequest request;
    request.messages = {{AgentChatRole::user, "bad \xC3", {}}};
    EXPECT_THROW(encoded(request), AgentProviderError);
    request.messages = {{AgentChatRole::user, "fine", {}}};
    request.temperature = std::nan("");
    EXPECT_THROW(encoded(request), AgentProviderError);
}

TEST(ChatWireResponse, LMStudioAnswerWithToolCallAsText) {
    const auto response = decoded(R"({"id":"chatcmpl-1","object":"chat.completion","model":"qwen2.5-7b",
        "choices":[{"index":0,"finish_reason":"tool_calls","message":{"role":"assistant","content":"",
          "reasoning_content":"thinking",
          "tool_calls":[{"id":"171","type":"function","function":{"name":" perform_phone_actions ",
            "arguments":"{\"actions\":[{\"type\":\"tap\",\"x\":0.5}]}"}}]}}],
        "usage":{"prompt_tokens":10,"completion_tokens":5},"stats":{}})");
    EXPECT_EQ(response.id, "chatcmpl-1");
    EXPECT_EQ(response.model, "qwen2.5-7b");
    EXPECT_EQ(response.finishReason, "tool_calls");
    ASSERT_EQ(response.toolCalls.size(), 1u);
    const auto& call = response.toolCalls[0];
    EXPECT_EQ(call.id, "171");
    EXPECT_EQ(call.name, "perform_phone_actions");
    EXPECT_EQ(call.arguments, AgentJSONValue::parse(R"({"actions":[{"type":"tap","x":0.5}]})"));
    EXPECT_EQ(call.rawArguments, R"({"actions":[{"type":"tap","x":0.5}]})");
    EXPECT_EQ(response.text, "thinking"); // empty content falls back to the reasoning text
    EXPECT_EQ(response.usage, (AgentTokenUsage{10, 5, 15}));
}

TEST(ChatWireResponse, TextShapes) {
    const std::pair<std::string, std::string> cases[] = {
        {R"({"content":"plain"})", "plain"},
        {R"({"content":[{"type":"text","text":"a"},{"content":"b"},"skip",{"text":7,"content":"c"},{"other":1}]})",
         "abc"},
        {R"({"content":[],"reasoning_content":"why"})", "why"},
        {R"({"content":null,"reasoning_content":"why"})", "why"},
        {R"({"content":""})", ""},
        {R"({"content":{"unexpected":true}})", ""},
        {R"({})", ""},
    };
    for (const auto& [message, text] : cases) {
        EXPECT_EQ(decoded(withMessage(message)).text, text) << message;
    }
}

TEST(ChatWireResponse, ToolCallShapes) {
    // OpenAI's usual form, several calls, one without an id.
    auto response = decoded(withMessage(R"({"content":null,"tool_calls":[
        {"type":"function","function":{"name":"a","arguments":{"x":1}}},
        {"id":"call_abc","type":"function","function":{"name":"b","arguments":"[]"}},
        {"function":{"name":"c","arguments":null}}]})"));
    ASSERT_EQ(response.toolCalls.size(), 3u);
    EXPECT_EQ(response.toolCalls[0].id, "call_0");
    EXPECT_EQ(response.toolCalls[0].arguments, AgentJSONValue::parse(R"({"x":1})"));
    EXPECT_EQ(response.toolCalls[0].rawArguments, R"({"x":1})");
    EXPECT_EQ(response.toolCalls[1].id, "call_abc");
    EXPECT_EQ(response.toolCalls[2].id, "call_2");
    EXPECT_EQ(response.toolCalls[2].rawArguments, "null");

    // The older single-call form.
    response = decoded(withMessage(R"({"function_call":{"name":"legacy","arguments":"{}"}})"));
    ASSERT_EQ(response.toolCalls.size(), 1u);
    EXPECT_EQ(response.toolCalls[0].id, "legacy_function_call");
    EXPECT_EQ(response.toolCalls[0].name, "legacy");
    // It only counts when there are no tool calls.
    response = decoded(withMessage(R"({"tool_calls":[{"function":{"name":"new","arguments":"{}"}}],
        "function_call":{"name":"legacy","arguments":"{}"}})"));
    ASSERT_EQ(response.toolCalls.size(), 1u);
    EXPECT_EQ(response.toolCalls[0].name, "new");
}

TEST(ChatWireResponse, UsageAndModelFallbacks) {
    EXPECT_EQ(decoded(withMessage("{}")).usage, (AgentTokenUsage{0, 0, 0}));
    EXPECT_EQ(decoded(withMessage("{}")).model, "requested");
    EXPECT_EQ(decoded(R"({"choices":[{"message":{}}],"usage":{"prompt_tokens":-4,"completion_tokens":2,
        "total_tokens":9}})")
                  .usage,
              (AgentTokenUsage{0, 2, 9}));
    EXPECT_EQ(decoded(R"({"choices":[{"message":{}}],"usage":{"prompt_tokens":3.0}})").usage,
              (AgentTokenUsage{3, 0, 3}));
}

TEST(ChatWireResponse, Failures) {
    const std::pair<std::string, std::string> cases[] = {
        {R"({"choices":[]})", "Invalid LLM response: response contains no choices"},
        {R"({"choices":[{"message":{"tool_calls":[{"function":{"name":"  ","arguments":"{}"}}]}}]})",
         "Invalid LLM response: tool call has no function name"},
        {R"({"choices":[{"message":{"tool_calls":[{"function":{"name":"tap","arguments":"x=1"}}]}}]})",
         "Invalid arguments for tap: "},
        {R"({"object":"chat.completion"})", "Invalid LLM response: \"choices\" is missing"},
        {R"({"choices":[{"finish_reason":"stop"}]})",
         "Invalid LLM response: \"choices[0].message\" is missing"},
        {R"({"id":7,"choices":[{"message":{}}]})", "Invalid LLM response: \"id\" must be a string"},
        {R"({"choices":[{"message":{"tool_calls":[{"function":{"name":"tap"}}]}}]})",
         "Invalid LLM response: \"choices[0].message.tool_calls[0].function.arguments\" is missing"},
        {R"([1,2])", "Invalid LLM response: the answer is not a JSON object"},
        {"<html>busy</html>", "Invalid LLM response: "},
        {"", "Invalid LLM response: "},
    };
    for (const auto& [body, expected] : cases) {
        EXPECT_TRUE(failureOf(body).starts_with(expected)) << body << " gave " << failureOf(body);
    }
}
