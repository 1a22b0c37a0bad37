// The command-line client: which request each command becomes, what it prints, and its exit status,
// in-process and as a real process against a small fake server.
#include "CLI/CLICommand.h"
#include "CLI/CLIOutput.h"
#include "Support/ChildProcess.h"
#include "Support/TestHttpServer.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace CLI;
using nlohmann::json;

namespace {

std::variant<CLIInvocation, CLIUsageError> parse(const std::vector<std::string>& arguments,
                                                 std::optional<std::string> port = std::nullopt,
                                                 std::optional<std::string> token = std::nullopt) {
    auto reader = [](const std::string& file) -> std::optional<std::string> {
        if (file == "steps.json") {
            return R"({"steps": [{"kind": "tap"}]})";
        }
        if (file == "notes.txt") {
            return "not json";
        }
        return std::nullopt;
    };
    return parseCommandLine(arguments, port, token, reader);
}

} // namespace

TEST(CLICommand, CommandsBecomeTheirRequests) {
    struct Case {
        std::vector<std::string> arguments;
        const char* method;
        const char* path;
        json body; // null: no body
    };
    const Case cases[] = {
        {{"status"}, "GET", "/v1/status", nullptr},
        {{"tap", "0.5", "0.25"}, "POST", "/v1/tap", {{"x", 0.5}, {"y", 0.25}}},
        {{"swipe", "0.5", "0.8", "0.5", "0.2"},
         "POST",
         "/v1/swipe",
         {{"x", 0.5}, {"y", 0.8}, {"x1", 0.5}, {"y1", 0.2}}},
        {{"swipe", "0", "1", "1", "0", "450"},
         "POST",
         "/v1/swipe",
         {{"x", 0}, {"y", 1}, {"x1", 1}, {"y1", 0}, {"ms", 450}}},
        {{"type", "hello", "world"}, "POST", "/v1/type", {{"text", "hello world"}}},
        {{"type", "--", "--json"}, "POST", "/v1/type", {{"text", "--json"}}},
        {{"key", "0x28"}, "POST", "/v1/key", {{"usage", 40}, {"mods", 0}}},
        {{"key", "4", "8"}, "POST", "/v1/key", {{"usage", 4}, {"mods", 8}}},
        {{"button", "lock"}, "POST", "/v1/button", {{"name", "lock"}}},
        {{"home"}, "POST", "/v1/home", json::object()},
        {{"open", "App", "Store"}, "POST", "/v1/open", {{"app", "App Store"}}},
        {{"wait", "1500"}, "POST", "/v1/wait", {{"ms", 1500}}},
        {{"do", "steps.json"}, "POST", "/v1/do", {{"steps", {{{"kind", "tap"}}}}}},
        {{"screenshot"}, "GET", "/v1/screen.jpg", nullptr},
        {{"workflow", "list"}, "GET", "/v1/workflows", nullptr},
        {{"workflow", "run", "Login"}, "POST", "/v1/workflows/run", {{"name", "Login"}}},
        {{"workflow", "status"}, "GET", "/v1/workflows/status", nullptr},
        {{"workflow", "stop"}, "POST", "/v1/workflows/stop", json::object()},
        {{"workflow", "save", "steps.json"}, "POST", "/v1/workflows/save", {{"steps", {{{"kind", "tap"}}}}}},
    };
    for (const auto& c : cases) {
        auto parsed = parse(c.arguments);
        ASSERT_TRUE(std::holds_alternative<CLIInvocation>(parsed)) << c.arguments[0];
        const auto& request = std::get<CLIRequest>(std::get<CLIInvocation>(parsed).action);
        EXPECT_EQ(request.method, c.method) << c.arguments[0];
        EXPECT_EQ(request.path, c.path) << c.arguments[0];
        EXPECT_EQ(request.body ? json::parse(*request.body) : json(nullptr), c.body) << c.arguments[0];
    }
}

TEST(CLICommand, OptionsAndTheirDefaults) {
    auto parsed =
        parse({"--json", "tap", "0.1", "0.2", "--port=9001", "--host", "10.0.0.5", "--token", "t0k"}, "7000",
              "envtoken");
    const auto& options = std::get<CLIInvocation>(parsed).options;
    EXPECT_TRUE(options.wantsJSON);
    EXPECT_EQ(options.port, 9001);
    EXPECT_EQ(options.host, "10.0.0.5");
    EXPECT_EQ(options.token, "t0k");

    const auto fromEnvironment = std::get<CLIInvocation>(parse({"status"}, "7000", "envtoken")).options;
    EXPECT_EQ(fromEnvironment.port, 7000);
    EXPECT_EQ(fromEnvironment.token, "envtoken");
    EXPECT_EQ(std::get<CLIInvocation>(parse({"status"}, "nonsense")).options.port, 8090);

    for (const auto& help : std::vector<std::vector<std::string>>{{}, {"help"}, {"--help"}, {"tap", "-h"}}) {
        EXPECT_TRUE(std::holds_alternative<std::monostate>(std::get<CLIInvocation>(parse(help)).action));
    }
}

TEST(CLICommand, BadArgumentsAreUsageErrors) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"tap", "0.5"}, "usage: vedevave tap X Y"},
        {{"tap", "left", "0.5"}, "X must be a number"},
        {{"tap", "nan", "0.5"}, "X must be a number"},
        {{"key", "70000"}, "USAGE must be a whole number from 0 to 65535"},
        {{"key", "4", "256"}, "MODS must be a whole number from 0 to 255"},
        {{"wait", "-5"}, "MS must be a whole number"},
        {{"do", "missing.json"}, "cannot read missing.json"},
        {{"do", "notes.txt"}, "notes.txt is not JSON"},
        {{"workflow", "run"}, "usage: vedevave workflow"},
        {{"frobnicate"}, "unknown command \"frobnicate\""},
        {{"status", "--port", "0"}, "the port must be"},
        {{"status", "--port"}, "--port needs a value"},
        {{"status", "--verbose"}, "unknown option --verbose"},
    };
    for (const auto& [arguments, message] : cases) {
        auto parsed = parse(arguments);
        ASSERT_TRUE(std::holds_alternative<CLIUsageError>(parsed)) << arguments[0];
        EXPECT_NE(std::get<CLIUsageError>(parsed).message.find(message), std::string::npos)
            << std::get<CLIUsageError>(parsed).message;
    }
    // Negative numbers are arguments, not options.
    EXPECT_TRUE(std::holds_alternative<CLIInvocation>(parse({"swipe", "-0.1", "0.5", "-.2", "0.5"})));
}

TEST(CLIOutput, HumanSummariesJSONAndExitStatus) {
    CLIOptions human;
    CLIOptions raw;
    raw.wantsJSON = true;
    const std::string tapped = R"({"ok":true,"action":"tap","x":0.25,"y":0.5})";

    auto outcome = renderAnswer(human, 200, tapped);
    EXPECT_EQ(outcome.standardOutput, "tap x=0.25 y=0.5\n");
    EXPECT_EQ(outcome.exitStatus, exitOK);
    EXPECT_EQ(renderAnswer(raw, 200, tapped).standardOutput, tapped + "\n");

    outcome =
        renderAnswer(human, 200, R"({"ok":true,"api":"vedevave-local","connected":false,"device":"Sim"})");
    EXPECT_EQ(outcome.standardOutput, "api: vedevave-local\nconnected: false\ndevice: Sim\n");

    outcome = renderAnswer(human, 503, R"({"ok":false,"error":"not connected"})");
    EXPECT_EQ(outcome.standardError, "vedevave: not connected (HTTP 503)\n");
    EXPECT_EQ(outcome.exitStatus, exitFailed);
    outcome = renderAnswer(raw, 503, R"({"ok":false,"error":"not connected"})");
    EXPECT_EQ(outcome.exitStatus, exitFailed);
    // An answer without "ok" is no success.
    EXPECT_EQ(renderAnswer(human, 200, "<html>").exitStatus, exitFailed);
    EXPECT_EQ(renderAnswer(human, 200, R"({"action":"tap"})").exitStatus, exitFailed);

    outcome = renderUnreachable(human, "refused");
    EXPECT_EQ(outcome.exitStatus, exitUnreachable);
    EXPECT_NE(outcome.standardError.find("start it with: bash scripts/run --simulate --headless"),
              std::string::npos);
}

// The real client against a fake server.
namespace {

struct CLIRun {
    int exitStatus;
    std::string output;
};

CLIRun runCLI(const std::vector<std::string>& arguments) {
    TestSupport::ChildProcess child(TestSupport::binDirectory() + "/vedevave-cli", arguments);
    const int status = child.waitForExit(std::chrono::seconds(20));
    return {status, child.output()};
}

} // namespace

class CLIProcessTest : public ::testing::Test {
protected:
    CLIRun run(const std::vector<std::string>& arguments) { return runCLI(arguments); }
    std::string portArgument() const { return "--port=" + std::to_string(server.port()); }

    TestSupport::TestHttpServer server;
};

TEST_F(CLIProcessTest, SendsTheCommandAndExitsByTheAnswer) {
    server.respond("/v1/tap", 200, R"({"ok":true,"action":"tap","x":0.5,"y":0.25})");
    server.respond("/v1/home", 503, R"({"ok":false,"error":"not connected"})");

    auto tapped = run({portArgument(), "--token", "secret", "tap", "0.5", "0.25"});
    EXPECT_EQ(tapped.exitStatus, 0) << tapped.output;
    EXPECT_EQ(tapped.output, "tap x=0.5 y=0.25\n");
    const auto requests = server.received();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(json::parse(requests[0].body), json({{"x", 0.5}, {"y", 0.25}}));
    EXPECT_EQ(requests[0].headers.at("authorization"), "Bearer secret");
    EXPECT_EQ(requests[0].headers.at("content-type"), "application/json");

    auto refused = run({portArgument(), "home"});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.output, "vedevave: not connected (HTTP 503)\n");

    auto usage = run({portArgument(), "tap"});
    EXPECT_EQ(usage.exitStatus, 1);
    EXPECT_EQ(server.requestCount(), 2); // nothing sent for a usage error
}

TEST_F(CLIProcessTest, ScreenshotIsSavedToTheGivenFile) {
    const std::string jpeg = std::string("\xFF\xD8\xFF\xE0", 4) + "fake jpeg";
    server.respond("/v1/screen.jpg", 200, jpeg, "Content-Type: image/jpeg\r\n");
    const auto file =
        std::filesystem::temp_directory_path() / ("cli-shot-" + std::to_string(::getpid()) + ".jpg");
    auto saved = run({portArgument(), "--json", "screenshot", file.string()});
    EXPECT_EQ(saved.exitStatus, 0) << saved.output;
    EXPECT_EQ(json::parse(saved.output),
              json({{"ok", true}, {"path", file.string()}, {"bytes", jpeg.size()}}));
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), jpeg);
    std::filesystem::remove(file);
}

TEST(CLIProcess, UnreachableServerExits2WithTheStartHint) {
    int port = 0;
    {
        TestSupport::TestHttpServer gone;
        port = gone.port();
    }
    auto result = runCLI({"--port=" + std::to_string(port), "status"});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_NE(result.output.find("start it with: bash scripts/run --simulate --headless"), std::string::npos);
}
