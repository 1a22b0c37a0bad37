#include "Platform/CredentialStore.h"
#include "Platform/PreferenceStore.h"
#include "ProviderTestSupport.h"
#include "Support/RunCoroutine.h"
#include "VedevaveApp/Providers/AIProviderConnectionTester.h"
#include "VedevaveApp/Providers/AIProviderStore.h"
#include "VedevaveApp/Providers/AgentProviderError.h"
#include "VedevaveApp/Providers/OpenAICompatibleChatProvider.h"

#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>

using namespace VedevaveApp;
using namespace ProviderTests;
using namespace std::chrono_literals;

namespace {

AIProviderProfile profileAt(const std::string& baseURL) {
    auto profile = AIProviderProfile::withDefaults(AIProviderPreset::lmStudio);
    profile.baseURL = baseURL;
    profile.model = "qwen2.5-7b-instruct";
    return profile;
}

class ConnectionTesterTest : public ::testing::Test {
protected:
    AIProviderConnectionTestResult test(const AIProviderProfile& profile,
                                        std::optional<std::string> token = {}) {
        return TestSupport::runCoroutine(context,
                                         AIProviderConnectionTester::test(profile, std::move(token)));
    }
    AIProviderConnectionTestResult testAnswer(int status, const std::string& body) {
        server.respond("/v1/models", status, body);
        return test(profileAt(server.url("/v1")));
    }

    asio::io_context context;
    TestSupport::TestHttpServer server;
};

} // namespace

TEST_F(ConnectionTesterTest, InvalidProfilesNeverReachTheNetwork) {
    auto unnamed = profileAt(server.url("/v1"));
    unnamed.name = "";
    EXPECT_EQ(test(unnamed), (AIProviderConnectionTestResult{
                                 false, "Enter a provider name of 80 characters or fewer.", {}, 0, {}}));
    auto other = profileAt(server.url("/v1"));
    other.adapterIdentifier = "anthropic.messages";
    EXPECT_EQ(test(other).message,
              "No built-in connection test exists for adapter \u201Canthropic.messages\u201D.");
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(ConnectionTesterTest, FailedAnswers) {
    const std::tuple<int, std::string, std::string> cases[] = {
        {401, R"({"error":{"message":"bad key"}})", "Authentication was rejected: bad key"},
        {403, "", "Authentication was rejected"},
        {404, "", "Provider returned HTTP 404"},
        {500, R"({"error":"overloaded"})", "Provider returned HTTP 500: overloaded"},
        {502, R"({"message":"  upstream down \n"})", "Provider returned HTTP 502: upstream down"},
        {500, R"({"error":{"message":"   "}})", "Provider returned HTTP 500"},
        {500, "<html>", "Provider returned HTTP 500"},
        {302, "", "Provider returned HTTP 302"},
        {500, R"({"error":")" + std::string(300, 'e') + R"("})",
         "Provider returned HTTP 500: " + std::string(240, 'e')},
    };
    for (const auto& [status, body, message] : cases) {
        const auto result = testAnswer(status, body);
        EXPECT_FALSE(result.succeeded);
        EXPECT_EQ(result.message, message) << body;
        EXPECT_EQ(result.statusCode, status);
        EXPECT_TRUE(result.models.empty());
    }
}

TEST_F(ConnectionTesterTest, ModelListsAreCleaned) {
    const std::regex latency(" in [0-9]+ ms$");
    auto result = testAnswer(200, R"({"data":[{"id":"a"},{"id":" a "},{"id":""},{"id":"b"}]})");
    EXPECT_TRUE(result.succeeded);
    EXPECT_EQ(result.models, (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(result.message.starts_with("connected; 2 models available in ")) << result.message;
    EXPECT_TRUE(std::regex_search(result.message, latency));
    EXPECT_EQ(result.statusCode, 200);
    EXPECT_EQ(result.message,
              "connected; 2 models available in " + std::to_string(result.latencyMilliseconds) + " ms");

    EXPECT_TRUE(testAnswer(200, R"({"data":[{"id":"only"}]})")
                    .message.starts_with("connected; 1 model available in "));
    for (const std::string body : {"not json", R"({"data":[{"id":"a"},{"name":"b"}]})", R"({"models":[]})"}) {
        result = testAnswer(200, body);
        EXPECT_TRUE(result.succeeded) << body;
        EXPECT_TRUE(result.message.starts_with("connected; no models were reported in ")) << body;
    }
}

TEST_F(ConnectionTesterTest, LoaderFailuresAndCancellation) {
    server.respond("/big/v1/models", 200, std::string(2 * 1024 * 1024 + 1, ' '));
    auto result = test(profileAt(server.url("/big/v1")));
    EXPECT_EQ(result.message, "Provider response exceeds the 2048 KiB safety limit.");
    EXPECT_EQ(result.statusCode, std::nullopt);

    result = test(profileAt("http://127.0.0.1:1/v1"));
    EXPECT_FALSE(result.succeeded);
    EXPECT_FALSE(result.message.empty());

    server.route("/stall/v1/models", [this](const auto&, const auto&) {
        while (!server.isStopping()) {
            std::this_thread::sleep_for(5ms);
        }
    });
    const auto profile = profileAt(server.url("/stall/v1"));
    auto call = start<AIProviderConnectionTestResult>(
        context, [&] { return AIProviderConnectionTester::test(profile, {}); });
    ASSERT_TRUE(runUntil(context, [&] { return server.requestCount() == 2; }));
    call->task.cancel();
    ASSERT_TRUE(runUntil(
        context, [&] { return call->isDone; }, 3s));
    EXPECT_EQ(call->value, (AIProviderConnectionTestResult{false, "Connection test cancelled.", {}, 0, {}}));
}

TEST(ConnectionTesterTimeout, HeldWithinTwoAndFifteenSeconds) {
    auto profile = profileAt("http://127.0.0.1:1/v1");
    profile.requestTimeoutSeconds = 120;
    EXPECT_EQ(AIProviderConnectionTester::requestTimeout(profile), 15s);
    profile.requestTimeoutSeconds = 1;
    EXPECT_EQ(AIProviderConnectionTester::requestTimeout(profile), 2s);
}

// A profile saved through the store lists its models, completes a tool call, is refused with a wrong
// token, and its token lives only in the credential store.
TEST(ProviderEndToEnd, SavedProfileTalksToItsServer) {
    TemporaryHome home;
    const std::string token = "sk-end-to-end-6d1f";
    ModelServer models(token);
    Platform::FilePreferenceStore defaults(home.path / "config" / "vedevave" / "preferences.json");
    auto credentials =
        std::make_shared<Platform::FileCredentialStore>(home.path / "data" / "vedevave" / "credentials");
    auto store = AIProviderStore::create(
        defaults, std::make_shared<AIProviderKeychain>(AIProviderKeychain::defaultService, credentials));
    auto draft = store->selectedProfile().value();
    draft.baseURL = models.baseURL();
    draft.model = "qwen2.5-7b-instruct";
    store->upsert(draft, AIProviderTokenUpdate::replace(token), true);

    const auto selection = store->selectedRuntimeSelection().value();
    EXPECT_EQ(selection.token, token);
    asio::io_context context;
    const auto listed = TestSupport::runCoroutine(
        context, AIProviderConnectionTester::test(selection.profile, selection.token));
    EXPECT_TRUE(listed.succeeded) << listed.message;
    EXPECT_EQ(listed.models, (std::vector<std::string>{"qwen2.5-7b-instruct", "text-embedding-nomic"}));

    AgentProviderConfiguration configuration;
    configuration.name = selection.profile.name;
    configuration.baseURL = selection.profile.baseURL;
    configuration.apiKey = selection.token;
    configuration.model = selection.profile.model;
    configuration.reasoningEffort = selection.profile.reasoningEffort;
    configuration.timeout = selection.profile.requestTimeoutSeconds;
    OpenAICompatibleChatProvider provider(configuration);
    AgentChatRequest request;
    request.messages = {{AgentChatRole::user, "Open Settings", {}}};
    request.tools = {{"perform_phone_actions", "Acts", AgentJSONValue::parse(R"({"type":"object"})")}};
    const auto response = TestSupport::runCoroutine(context, provider.complete(request));
    ASSERT_EQ(response.toolCalls.size(), 1u);
    EXPECT_EQ(response.toolCalls[0].name, "perform_phone_actions");

    const auto refused =
        TestSupport::runCoroutine(context, AIProviderConnectionTester::test(selection.profile, "sk-wrong"));
    EXPECT_FALSE(refused.succeeded);
    EXPECT_EQ(refused.message, "Authentication was rejected: Invalid API key");
    EXPECT_EQ(refused.statusCode, 401);
    configuration.apiKey = "sk-wrong";
    try {
        TestSupport::runCoroutine(context, OpenAICompatibleChatProvider(configuration).complete(request));
        ADD_FAILURE();
    } catch (const AgentProviderError& error) {
        EXPECT_EQ(error.status(), 401);
    }

    // The token is on disk only in the credential store's file.
    std::vector<std::filesystem::path> holders;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home.path)) {
        if (entry.is_regular_file()) {
            std::stringstream text;
            text << std::ifstream(entry.path()).rdbuf();
            if (text.str().find(token) != std::string::npos) {
                holders.push_back(entry.path());
            }
        }
    }
    EXPECT_EQ(holders, (std::vector<std::filesystem::path>{credentials->file()}));
}
