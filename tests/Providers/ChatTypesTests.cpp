#include "VedevaveApp/Providers/AgentChatTypes.h"
#include "VedevaveApp/Providers/AgentProviderError.h"
#include "VedevaveApp/Providers/BoundedURLSessionDataLoader.h"

#include <gtest/gtest.h>

using namespace VedevaveApp;

TEST(AgentJSONValue, ReadsEachKindInOrder) {
    EXPECT_EQ(AgentJSONValue::parse("1"), AgentJSONValue(1.0));
    EXPECT_EQ(AgentJSONValue::parse("true"), AgentJSONValue(true));
    EXPECT_EQ(AgentJSONValue::parse("\"1\""), AgentJSONValue("1"));
    EXPECT_EQ(AgentJSONValue::parse("null"), AgentJSONValue());
    EXPECT_EQ(AgentJSONValue::parse("[2, \"x\", null]"),
              AgentJSONValue(AgentJSONValue::Array{2.0, "x", nullptr}));
    EXPECT_EQ(AgentJSONValue::parse("{}"), AgentJSONValue(AgentJSONValue::Object{}));
    // A truth value is not a number, and an integer and a real of the same value are one number.
    EXPECT_NE(AgentJSONValue::parse("true"), AgentJSONValue(1.0));
    EXPECT_EQ(AgentJSONValue::parse("2"), AgentJSONValue::parse("2.0"));
}

TEST(AgentJSONValue, ObjectsCompareWithoutRegardToKeyOrder) {
    EXPECT_EQ(AgentJSONValue::parse(R"({"a": 1, "b": [true]})"),
              AgentJSONValue::parse(R"({"b": [true], "a": 1})"));
    EXPECT_NE(AgentJSONValue::parse(R"({"a": 1})"), AgentJSONValue::parse(R"({"a": 1, "b": null})"));
}

TEST(AgentJSONValue, WritesBackWhatItRead) {
    const auto value = AgentJSONValue::parse(R"({"n": 3, "r": 0.5, "s": "é", "a": [null, false]})");
    EXPECT_EQ(value.serialized(), R"({"a":[null,false],"n":3,"r":0.5,"s":"é"})");
    EXPECT_EQ(AgentJSONValue::parse(value.serialized()), value);
}

TEST(AgentJSONValue, RefusesMalformedDeepAndInexpressibleValues) {
    EXPECT_THROW(AgentJSONValue::parse("{\"a\":"), AgentJSONError);
    EXPECT_THROW(AgentJSONValue::parse(std::string(100000, '[')), AgentJSONError);
    EXPECT_THROW(AgentJSONValue::parse(std::string(300, '[') + std::string(300, ']')), AgentJSONError);
    EXPECT_THROW(AgentJSONValue(std::numeric_limits<double>::infinity()).serialized(), AgentJSONError);
    EXPECT_THROW(AgentJSONValue(std::string("\xff")).serialized(), AgentJSONError);
}

TEST(AIReasoningEffort, RawTextsAndRequestValues) {
    EXPECT_EQ(AIReasoningEffortText::requestValue(AIReasoningEffort::providerDefault), std::nullopt);
    EXPECT_EQ(AIReasoningEffortText::requestValue(AIReasoningEffort::none), "none");
    EXPECT_EQ(AIReasoningEffortText::requestValue(AIReasoningEffort::high), "high");
    EXPECT_EQ(AIReasoningEffortText::fromRaw("provider-default"), AIReasoningEffort::providerDefault);
    EXPECT_EQ(AIReasoningEffortText::fromRaw("extreme"), std::nullopt);
}

TEST(AgentTokenUsage, JSONFormRequiresAllThreeCounts) {
    const AgentTokenUsage usage{10, 5, 15};
    EXPECT_EQ(AgentTokenUsage::fromJSONText(usage.jsonText()), usage);
    EXPECT_THROW(AgentTokenUsage::fromJSONText(R"({"promptTokens":1,"completionTokens":2})"), AgentJSONError);
    EXPECT_THROW(AgentTokenUsage::fromJSONText(R"({"promptTokens":-1,"completionTokens":2,"totalTokens":1})"),
                 AgentJSONError);
}

TEST(ProviderErrors, DescribeThemselves) {
    EXPECT_EQ(AgentProviderError::invalidConfiguration("model is required").description(),
              "Invalid provider configuration: model is required");
    EXPECT_EQ(AgentProviderError::invalidRequest("x").description(), "Invalid LLM request: x");
    EXPECT_EQ(AgentProviderError::http(429, "slow down").description(), "LLM HTTP 429: slow down");
    EXPECT_EQ(AgentProviderError::invalidResponse("x").description(), "Invalid LLM response: x");
    EXPECT_EQ(AgentProviderError::invalidToolArguments("perform_phone_actions", "bad").description(),
              "Invalid arguments for perform_phone_actions: bad");
    EXPECT_EQ(BoundedURLSessionDataError::responseTooLarge(2097152).description(),
              "Provider response exceeds the 2048 KiB safety limit.");
    EXPECT_EQ(BoundedURLSessionDataError::responseTooLarge(1500).description(),
              "Provider response exceeds the 1 KiB safety limit.");
    EXPECT_EQ(BoundedURLSessionDataError::missingResponse().description(),
              "Provider returned no HTTP response.");
}
