#include "VedevaveApp/App/AppArgs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

using VedevaveApp::AppArgs;

namespace {

AppArgs parse(std::vector<std::string> rest) {
    rest.insert(rest.begin(), "/usr/bin/vedevave");
    auto parsed = AppArgs::parseWithoutExiting(rest);
    EXPECT_FALSE(parsed.wantsHelp);
    return parsed.args;
}

TEST(AppArgs, DefaultsWithNoArguments) {
    AppArgs args = parse({});
    EXPECT_FALSE(args.udid);
    EXPECT_EQ(args.width, 340);
    EXPECT_EQ(args.height, 720);
    EXPECT_EQ(args.httpPort, 8090);
    EXPECT_FALSE(args.web);
    EXPECT_FALSE(args.openWeb);
    EXPECT_FALSE(args.didSetHttpPort);
}

struct OptionCase {
    std::vector<std::string> arguments;
    std::optional<std::string> udid;
    double width;
    double height;
    int64_t httpPort;
    bool web;
    bool openWeb;
};

TEST(AppArgs, OptionTable) {
    const std::vector<OptionCase> cases = {
        {{"--open-web"}, std::nullopt, 340, 720, 8090, true, true},
        {{"--web"}, std::nullopt, 340, 720, 8090, true, false},
        {{"--width", "abc"}, std::nullopt, 340, 720, 8090, false, false},
        {{"--width", " 300"}, std::nullopt, 340, 720, 8090, false, false},
        {{"--width", "300.5"}, std::nullopt, 300.5, 720, 8090, false, false},
        {{"--width", "inf"}, std::nullopt, 340, 720, 8090, false, false},
        {{"--height", "0"}, std::nullopt, 340, 0, 8090, false, false},
        {{"--web-port", "+9000"}, std::nullopt, 340, 720, 9000, false, false},
        {{"--web-port", ""}, std::nullopt, 340, 720, 8090, false, false},
        {{"--web-port", "90a"}, std::nullopt, 340, 720, 8090, false, false},
        {{"--http-port", "-7"}, std::nullopt, 340, 720, -7, false, false},
        {{"--http-port", "99999999999999999999"}, std::nullopt, 340, 720, 8090, false, false},
        {{"--udid"}, std::nullopt, 340, 720, 8090, false, false},
        {{"--udid", "A", "--udid"}, "A", 340, 720, 8090, false, false},
        {{"--udid", "A", "--udid", "B"}, "B", 340, 720, 8090, false, false},
        // A value-taking option consumes the next position even when it is another option.
        {{"--udid", "--web"}, "--web", 340, 720, 8090, false, false},
        // Unknown arguments are skipped and the next one is read as an option.
        {{"stray", "--web", "--Web", "--width", "200"}, std::nullopt, 200, 720, 8090, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        AppArgs args = parse(c.arguments);
        EXPECT_EQ(args.udid, c.udid);
        EXPECT_EQ(args.width, c.width);
        EXPECT_EQ(args.height, c.height);
        EXPECT_EQ(args.httpPort, c.httpPort);
        EXPECT_EQ(args.web, c.web);
        EXPECT_EQ(args.openWeb, c.openWeb);
    }
}

TEST(AppArgs, HelpWinsWhereverItStandsAndLaterOptionsAreNotRead) {
    for (std::vector<std::string> arguments : {std::vector<std::string>{"x", "--web", "--help", "--udid"},
                                               std::vector<std::string>{"x", "-h"}}) {
        EXPECT_TRUE(AppArgs::parseWithoutExiting(arguments).wantsHelp);
    }
    // "-h" as the value of "--udid" is a value, not a request for help.
    EXPECT_FALSE(AppArgs::parseWithoutExiting({"x", "--udid", "-h"}).wantsHelp);
}

TEST(AppArgs, HelpPrintsTheUsageTextAndExitsZero) {
    EXPECT_EXIT(AppArgs::parse({"x", "--help"}), ::testing::ExitedWithCode(0),
                "Requires bin/DaridiveVarara \\(./tools/build_engine.sh\\)\\.");
}

TEST(AppArgs, UsageTextByteForByte) {
    const std::string& text = AppArgs::usageText();
    const std::string expectedBody =
        "\n"
        "  Vedevave [--udid UDID] [--width 340] [--height 720] [--web] [--open-web] [--web-port 8090]\n"
        "\n"
        "Video uses the system CoreMediaIO screen device (same source as\n"
        "QuickTime / iPhone presentation). Control uses a CoreDevice\n"
        "tunnel \xE2\x80\x94 Network when available so USB stays free for capture.\n"
        "\n"
        "Web Mirror & Remote Access Parameters:\n"
        "  --web          Serve Web Mirror Studio at http://127.0.0.1:<port>/web\n"
        "  --open-web     Serve Web Mirror and open default web browser\n"
        "  --public       Generate a public HTTPS tunnel URL for remote control over the internet\n"
        "  --web-port N   Specify custom port for HTTP API and Web Mirror (default: 8090)\n"
        "\n"
        "Without --udid, a device picker lists USB iPhones at launch.\n"
        "Requires bin/DaridiveVarara (./tools/build_engine.sh).\n";
    const auto firstLineEnd = text.find('\n');
    const std::string title = text.substr(0, firstLineEnd);
    EXPECT_EQ(title.rfind("Vedevave \xE2\x80\x94 ", 0), 0u) << title;
    EXPECT_NE(title.find("GPU-drawn iPhone mirror"), std::string::npos);
    EXPECT_EQ(text.substr(firstLineEnd + 1), expectedBody);
}

TEST(AppArgs, PortsOutsideTheEnginesRangeFallBackToTheDefault) {
    struct Case {
        int64_t given;
        int expected;
        bool warns;
    };
    for (const Case& c : {Case{9000, 9000, false}, Case{1, 1, false}, Case{65534, 65534, false},
                          Case{65535, 8090, true}, Case{0, 8090, true}, Case{-7, 8090, true}}) {
        AppArgs args;
        args.httpPort = c.given;
        auto choice = args.validatedHttpPort();
        EXPECT_EQ(choice.port, c.expected) << c.given;
        EXPECT_EQ(choice.warning.has_value(), c.warns) << c.given;
    }
}

TEST(AppArgs, AspectRatioGuardsAZeroHeight) {
    AppArgs args;
    args.height = 0;
    EXPECT_EQ(args.initialAspectRatio(), 340.0);
    args.height = 680;
    EXPECT_EQ(args.initialAspectRatio(), 0.5);
}

} // namespace
