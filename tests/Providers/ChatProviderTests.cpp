// The chat-completions client against a loopback server: URL and parameter rules, headers, answers,
// errors and cancellation.
#include "ProviderTestSupport.h"
#include "Support/RunCoroutine.h"
#include "VedevaveApp/Providers/AgentProviderError.h"
#include "VedevaveApp/Providers/OpenAICompatibleChatProvider.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace VedevaveApp;
using namespace ProviderTests;
using namespace std::chrono_literals;
using nlohmann::json;

namespace {

AgentProviderConfiguration configurationFor(const std::string& baseURL,
                                            const std::string& model = "local-model") {
    AgentProviderConfiguration configuration;
    configuration.name = "Test";
    configuration.baseURL = baseURL;
    configuration.model = model;
    configuration.timeout = 5;
    return configuration;
}

AgentChatRequest simpleRequest() {
    AgentChatRequest request;
    request.messages = {{AgentChatRole::user, "hello", {}}};
    return request;
}

class ChatProviderTest : public ::testing::Test {
protected:
    AgentChatResponse complete(const AgentProviderConfiguration& configuration, AgentChatRequest request) {
        OpenAICompatibleChatProvider provider(configuration);
        return TestSupport::runCoroutine(context, provider.complete(std::move(request)));
    }

    std::string failureOf(const AgentProviderConfiguration& configuration,
                          AgentChatRequest request = simpleRequest()) {
        try {
            complete(configuration, std::move(request));
        } catch (const AgentProviderError& error) {
            return error.description();
        }
        return "no failure";
    }

    json lastBody() {
        auto received = models.server.received();
        return received.empty() ? json() : json::parse(received.back().body);
    }

    asio::io_context context;
    ModelServer models;
};

} // namespace

TEST(ChatProviderURL, EndpointRules) {
    struct Case {
        std::string baseURL;
        std::optional<std::string> customPath;
        std::string expected;
    };
    const Case cases[] = {
        {"http://127.0.0.1:1234", std::nullopt, "http://127.0.0.1:1234/v1/chat/completions"},
        {"http://127.0.0.1:1234/", std::nullopt, "http://127.0.0.1:1234/v1/chat/completions"},
        {"http://127.0.0.1:1234/v1", std::nullopt, "http://127.0.0.1:1234/v1/chat/completions"},
        {"http://127.0.0.1:1234/v1//", std::nullopt, "http://127.0.0.1:1234/v1/chat/completions"},
        {"https://host/openai", std::nullopt, "https://host/openai/v1/chat/completions"},
        {"https://host/v1/chat/completions", std::nullopt, "https://host/v1/chat/completions"},
        {"https://host/api?key=1", std::nullopt, "https://host/api/v1/chat/completions?key=1"},
        {"https://host/v1", std::string("/custom/chat"), "https://host/custom/chat"},
        {"https://host/v1", std::string("deployments/x/chat"), "https://host/v1/deployments/x/chat"},
        {"https://host", std::string(" chat "), "https://host/chat"},
        {"https://host/v1", std::string("  \n"), "https://host/v1/chat/completions"},
    };
    for (const auto& c : cases) {
        auto configuration = configurationFor(c.baseURL);
        configuration.chatCompletionsPath = c.customPath;
        EXPECT_EQ(OpenAICompatibleChatProvider(configuration).chatCompletionsURL(), c.expected) << c.baseURL;
    }
    for (const std::string bad : {"ftp://host/v1", "127.0.0.1:1234", "not a url", "http://"}) {
        try {
            OpenAICompatibleChatProvider(configurationFor(bad)).chatCompletionsURL();
            ADD_FAILURE() << bad;
        } catch (const AgentProviderError& error) {
            EXPECT_EQ(error.description(), "Invalid provider configuration: base URL must be HTTP(S)") << bad;
        }
    }
}

TEST(ChatProviderURL, ParameterRulesFollowHostAndModel) {
    const OpenAICompatibleChatProvider local(configurationFor("http://127.0.0.1:1234/v1"));
    const OpenAICompatibleChatProvider openAI(configurationFor("https://api.openai.com/v1"));
    const OpenAICompatibleChatProvider openAIRegion(configurationFor("https://eu.api.OPENAI.com/v1"));
    const OpenAICompatibleChatProvider lookalike(configurationFor("https://notopenai.com/v1"));
    EXPECT_TRUE(openAI.isOpenAIHost());
    EXPECT_TRUE(openAIRegion.isOpenAIHost());
    EXPECT_FALSE(lookalike.isOpenAIHost());
    EXPECT_FALSE(local.isOpenAIHost());

    EXPECT_EQ(local.tokenLimitParameter("llama-3"), "max_tokens");
    EXPECT_EQ(local.tokenLimitParameter(" O3-mini "), "max_completion_tokens");
    EXPECT_EQ(openAI.tokenLimitParameter("gpt-4o"), "max_completion_tokens");
    for (const std::string model : {"gpt-5", "o1-preview", "o3", "o4-mini"}) {
        EXPECT_TRUE(OpenAICompatibleChatProvider::isOpenAIReasoningModel(model)) << model;
    }
    EXPECT_FALSE(OpenAICompatibleChatProvider::isOpenAIReasoningModel("gpt-4o"));

    auto withEffort = [](const std::string& url, AIReasoningEffort effort) {
        auto configuration = configurationFor(url);
        configuration.reasoningEffort = effort;
        return OpenAICompatibleChatProvider(configuration);
    };
    EXPECT_EQ(withEffort("http://127.0.0.1:1/v1", AIReasoningEffort::none).reasoningEffortParameter({}),
              AIReasoningEffort::none);
    EXPECT_EQ(withEffort("https://api.openai.com/v1", AIReasoningEffort::none).reasoningEffortParameter({}),
              AIReasoningEffort::providerDefault);
    EXPECT_EQ(withEffort("https://api.openai.com/v1", AIReasoningEffort::low)
                  .reasoningEffortParameter(AIReasoningEffort::none),
              AIReasoningEffort::none); // an explicit override is sent as given
}

TEST_F(ChatProviderTest, CompletesAToolCallAgainstALocalServer) {
    auto configuration = configurationFor(models.baseURL());
    configuration.reasoningEffort = AIReasoningEffort::none;
    auto request = simpleRequest();
    request.tools = {
        {"perform_phone_actions", "Acts on the phone", AgentJSONValue::parse(R"({"type":"object"})")}};
    request.toolChoice = AgentToolChoice::required();
    request.model = "  ";
    const auto response = complete(configuration, request);
    ASSERT_EQ(response.toolCalls.size(), 1u);
    EXPECT_EQ(response.toolCalls[0].name, "perform_phone_actions");
    EXPECT_EQ(response.toolCalls[0].arguments,
              AgentJSONValue::parse(R"({"actions":[{"type":"tap","x":0.5,"y":0.5}]})"));
    EXPECT_EQ(response.usage, (AgentTokenUsage{120, 30, 150}));
    EXPECT_GT(response.latencyMilliseconds, 0);

    const auto received = models.server.received().back();
    EXPECT_EQ(received.method, "POST");
    EXPECT_EQ(received.path, "/v1/chat/completions");
    EXPECT_EQ(received.headers.at("content-type"), "application/json");
    EXPECT_EQ(received.headers.at("accept"), "application/json");
    EXPECT_EQ(received.headers.count("authorization"), 0u);
    const json body = json::parse(received.body);
    EXPECT_EQ(body["model"], "local-model"); // the blank request model falls back
    EXPECT_EQ(body["tool_choice"], "required");
    EXPECT_EQ(body["reasoning_effort"], "none");
    EXPECT_TRUE(body.contains("temperature"));
    EXPECT_TRUE(body.contains("max_tokens"));
}

TEST_F(ChatProviderTest, HeaderHygieneAndTheBearerKey) {
    auto configuration = configurationFor(models.baseURL());
    configuration.additionalHeaders = {
        {" X-Team ", "blue"}, {"X-Injected", "a\r\nX-Evil: 1"}, {"", "empty"},
        {"Bad Name", "x"},    {"authorization", "Basic abc"},   {"X-Team", "green"},
    };
    configuration.apiKey = "  sk-local  ";
    complete(configuration, simpleRequest());
    const auto headers = models.server.received().back().headers;
    EXPECT_EQ(headers.at("x-team"), "green"); // the later entry replaces the earlier
    EXPECT_EQ(headers.count("x-injected"), 0u);
    EXPECT_EQ(headers.count("x-evil"), 0u);
    EXPECT_EQ(headers.count("bad name"), 0u);
    EXPECT_EQ(headers.at("authorization"), "Bearer sk-local"); // the key wins over an extra header

    configuration.apiKey = "sk-\nline";
    EXPECT_EQ(failureOf(configuration),
              "Invalid provider configuration: API key contains an invalid newline");
    configuration.apiKey = "   ";
    complete(configuration, simpleRequest());
    EXPECT_EQ(models.server.received().back().headers.at("authorization"), "Basic abc");
}

TEST_F(ChatProviderTest, RefusesBeforeAnyNetworkUse) {
    EXPECT_EQ(failureOf(configurationFor(models.baseURL(), " ")),
              "Invalid provider configuration: model is required");
    EXPECT_EQ(failureOf(configurationFor(models.baseURL()), AgentChatRequest{}),
              "Invalid LLM request: at least one message is required");
    EXPECT_EQ(models.server.requestCount(), 0);
}

TEST_F(ChatProviderTest, ErrorAnswers) {
    models.server.respond("/e500/v1/chat/completions", 500, "  overloaded \n");
    models.server.respond("/e404/v1/chat/completions", 404, "");
    models.server.respond("/e302/v1/chat/completions", 302, "", "Location: /elsewhere\r\n");
    models.server.respond("/ebig/v1/chat/completions", 200, std::string(2 * 1024 * 1024 + 1, ' '));
    models.server.route("/echunk/v1/chat/completions", [](const auto&, const auto& send) {
        send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
        const std::string chunk(64 * 1024, ' ');
        for (int i = 0; i < 40 && send("10000\r\n" + chunk + "\r\n"); ++i) {
        }
        send("0\r\n\r\n");
    });
    models.server.respond("/ehtml/v1/chat/completions", 200, "<html>");
    models.server.respond("/elong/v1/chat/completions", 503, std::string(5000, 'z'));
    const std::pair<std::string, std::string> cases[] = {
        {"/e500", "LLM HTTP 500: overloaded"},
        {"/e404", "LLM HTTP 404: Not Found"},
        {"/e302", "LLM HTTP 302: Found"},
        {"/ebig", "Invalid LLM response: Provider response exceeds the 2048 KiB safety limit."},
        {"/echunk", "Invalid LLM response: Provider response exceeds the 2048 KiB safety limit."},
        {"/elong", "LLM HTTP 503: " + std::string(4096, 'z')},
    };
    for (const auto& [prefix, expected] : cases) {
        EXPECT_EQ(failureOf(configurationFor(models.server.url(prefix + "/v1"))), expected) << prefix;
    }
    EXPECT_TRUE(
        failureOf(configurationFor(models.server.url("/ehtml/v1"))).starts_with("Invalid LLM response: "));
}

TEST_F(ChatProviderTest, RefusedConnectionPassesThrough) {
    OpenAICompatibleChatProvider provider(configurationFor("http://127.0.0.1:1/v1"));
    EXPECT_THROW(TestSupport::runCoroutine(context, provider.complete(simpleRequest())), Runtime::HttpError);
}

TEST_F(ChatProviderTest, CancellationWhileWaitingEndsTheCall) {
    models.server.route("/stall/v1/chat/completions", [this](const auto&, const auto&) {
        while (!models.server.isStopping()) {
            std::this_thread::sleep_for(5ms);
        }
    });
    OpenAICompatibleChatProvider provider(configurationFor(models.server.url("/stall/v1")));
    auto call = start<AgentChatResponse>(context, [&] { return provider.complete(simpleRequest()); });
    ASSERT_TRUE(runUntil(context, [&] { return models.server.requestCount() == 1; }));
    call->task.cancel();
    ASSERT_TRUE(runUntil(
        context, [&] { return call->isDone; }, 3s));
    EXPECT_THROW(std::rethrow_exception(call->error), Runtime::CancellationError);
}
