#include "CLI/CLICommand.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>

namespace CLI {

namespace {

using nlohmann::json;

struct Failure {
    std::string message;
};

double realArgument(const std::string& text, const char* name) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value)) {
        throw Failure{std::string(name) + " must be a number, not \"" + text + "\""};
    }
    return value;
}

int64_t integerArgument(const std::string& text, const char* name, int64_t lowest, int64_t highest) {
    int64_t value = 0;
    const bool isHex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* begin = text.data() + (isHex ? 2 : 0);
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(begin, end, value, isHex ? 16 : 10);
    if (text.empty() || error != std::errc() || stop != end || value < lowest || value > highest) {
        throw Failure{std::string(name) + " must be a whole number from " + std::to_string(lowest) + " to " +
                      std::to_string(highest) + ", not \"" + text + "\""};
    }
    return value;
}

uint16_t portArgument(const std::string& text) {
    return static_cast<uint16_t>(integerArgument(text, "the port", 1, 65535));
}

void expectCount(const std::vector<std::string>& words, size_t lowest, size_t highest, const char* usage) {
    // words[0] is the command itself.
    if (words.size() - 1 < lowest || words.size() - 1 > highest) {
        throw Failure{std::string("usage: vedevave ") + usage};
    }
}

std::string jsonFile(const CLIFileReader& readFile, const std::string& file) {
    auto text = readFile(file);
    if (!text) {
        throw Failure{"cannot read " + (file == "-" ? std::string("standard input") : file)};
    }
    if (!json::accept(*text)) {
        throw Failure{(file == "-" ? std::string("standard input") : file) + " is not JSON"};
    }
    return *text;
}

CLIRequest post(std::string path, const json& body) {
    CLIRequest request;
    request.method = "POST";
    request.path = std::move(path);
    request.body = body.dump();
    return request;
}

CLIRequest getRequest(std::string path) {
    CLIRequest request;
    request.path = std::move(path);
    return request;
}

CLIRequest commandRequest(const std::vector<std::string>& words, const CLIFileReader& readFile) {
    const std::string& command = words[0];
    if (command == "status") {
        expectCount(words, 0, 0, "status");
        return getRequest("/v1/status");
    }
    if (command == "tap") {
        expectCount(words, 2, 2, "tap X Y");
        return post("/v1/tap", {{"x", realArgument(words[1], "X")}, {"y", realArgument(words[2], "Y")}});
    }
    if (command == "swipe") {
        expectCount(words, 4, 5, "swipe X Y X1 Y1 [MS]");
        json body{{"x", realArgument(words[1], "X")},
                  {"y", realArgument(words[2], "Y")},
                  {"x1", realArgument(words[3], "X1")},
                  {"y1", realArgument(words[4], "Y1")}};
        if (words.size() == 6) {
            body["ms"] = integerArgument(words[5], "MS", 0, 600'000);
        }
        return post("/v1/swipe", body);
    }
    if (command == "type") {
        if (words.size() < 2) {
            throw Failure{"usage: vedevave type TEXT"};
        }
        std::string text = words[1];
        for (size_t i = 2; i < words.size(); ++i) {
            text += " " + words[i];
        }
        return post("/v1/type", {{"text", text}});
    }
    if (command == "key") {
        expectCount(words, 1, 2, "key USAGE [MODS]");
        json body{{"usage", integerArgument(words[1], "USAGE", 0, 65535)}};
        body["mods"] = words.size() == 3 ? integerArgument(words[2], "MODS", 0, 255) : 0;
        return post("/v1/key", body);
    }
    if (command == "button") {
        expectCount(words, 1, 1, "button NAME");
        return post("/v1/button", {{"name", words[1]}});
    }
    if (command == "home") {
        expectCount(words, 0, 0, "home");
        return post("/v1/home", json::object());
    }
    if (command == "open") {
        if (words.size() < 2) {
            throw Failure{"usage: vedevave open APP"};
        }
        std::string app = words[1];
        for (size_t i = 2; i < words.size(); ++i) {
            app += " " + words[i];
        }
        return post("/v1/open", {{"app", app}});
    }
    if (command == "wait") {
        expectCount(words, 1, 1, "wait MS");
        const int64_t ms = integerArgument(words[1], "MS", 0, 3'600'000);
        CLIRequest request = post("/v1/wait", {{"ms", ms}});
        request.timeoutSeconds = static_cast<int>(ms / 1000) + 60;
        return request;
    }
    if (command == "do") {
        expectCount(words, 1, 1, "do FILE|-");
        CLIRequest request;
        request.method = "POST";
        request.path = "/v1/do";
        request.body = jsonFile(readFile, words[1]);
        request.timeoutSeconds = 3600;
        return request;
    }
    if (command == "screenshot") {
        expectCount(words, 0, 1, "screenshot [FILE]");
        CLIRequest request = getRequest("/v1/screen.jpg");
        request.imageFile = words.size() == 2 ? words[1] : defaultScreenshotFile;
        return request;
    }
    if (command == "workflow") {
        const std::string sub = words.size() > 1 ? words[1] : "";
        if (sub == "list" && words.size() == 2) {
            return getRequest("/v1/workflows");
        }
        if (sub == "status" && words.size() == 2) {
            return getRequest("/v1/workflows/status");
        }
        if (sub == "stop" && words.size() == 2) {
            return post("/v1/workflows/stop", json::object());
        }
        if (sub == "run" && words.size() == 3) {
            CLIRequest request = post("/v1/workflows/run", {{"name", words[2]}});
            request.timeoutSeconds = 3600;
            return request;
        }
        if (sub == "save" && words.size() == 3) {
            CLIRequest request;
            request.method = "POST";
            request.path = "/v1/workflows/save";
            request.body = jsonFile(readFile, words[2]);
            return request;
        }
        throw Failure{"usage: vedevave workflow list|run NAME|status|stop|save FILE"};
    }
    throw Failure{"unknown command \"" + command + "\" (vedevave help lists the commands)"};
}

} // namespace

const std::string& usageText() {
    static const std::string text =
        "usage: vedevave [--host HOST] [--port PORT] [--token TOKEN] [--json] COMMAND\n"
        "\n"
        "Drives the phone through the Vedevave local API (coordinates are 0..1 from the top left).\n"
        "\n"
        "commands:\n"
        "  status                      what the application reports\n"
        "  tap X Y                     tap at a point\n"
        "  swipe X Y X1 Y1 [MS]        swipe from (X, Y) to (X1, Y1), MS milliseconds long\n"
        "  type TEXT                   type text into the focused field\n"
        "  key USAGE [MODS]            press a key by HID usage (decimal or 0x hex) with a modifier mask\n"
        "  button NAME                 press a button: home, lock, app_switcher, vol_up, vol_down\n"
        "  home                        go to the home screen\n"
        "  open APP                    open an app by name\n"
        "  wait MS                     pause on the server for MS milliseconds\n"
        "  do FILE|-                   run a batch of steps from a JSON file or standard input\n"
        "  screenshot [FILE]           save the current screen as JPEG (default vedevave-screenshot.jpg)\n"
        "  workflow list|run NAME|status|stop|save FILE\n"
        "  help                        this text\n"
        "\n"
        "options:\n"
        "  --host HOST      server address (default 127.0.0.1)\n"
        "  --port PORT      server port (default VEDEVAVE_API_PORT, else 8090)\n"
        "  --token TOKEN    API token for a server on another machine (default VEDEVAVE_API_TOKEN)\n"
        "  --json           print the server's JSON answer unchanged\n"
        "\n"
        "exit status: 0 when the server answered \"ok\": true, 1 otherwise, 2 when it cannot be reached.\n";
    return text;
}

std::variant<CLIInvocation, CLIUsageError>
parseCommandLine(const std::vector<std::string>& arguments, const std::optional<std::string>& environmentPort,
                 const std::optional<std::string>& environmentToken, const CLIFileReader& readFile) {
    CLIInvocation invocation;
    try {
        if (environmentPort && !environmentPort->empty()) {
            invocation.options.port = portArgument(*environmentPort);
        }
    } catch (const Failure&) {
        // A bad VEDEVAVE_API_PORT falls back to the default, as the application does.
    }
    invocation.options.token = environmentToken.value_or("");
    std::vector<std::string> words;
    bool isOptionsEnd = false;
    try {
        for (size_t i = 0; i < arguments.size(); ++i) {
            const std::string& argument = arguments[i];
            if (isOptionsEnd || argument.size() < 2 || argument[0] != '-' || argument == "-" ||
                (argument[1] >= '0' && argument[1] <= '9') || argument[1] == '.') {
                words.push_back(argument); // also negative numbers
                continue;
            }
            if (argument == "--") {
                isOptionsEnd = true;
                continue;
            }
            const size_t equals = argument.find('=');
            const std::string name = argument.substr(0, equals);
            auto value = [&]() -> std::string {
                if (equals != std::string::npos) {
                    return argument.substr(equals + 1);
                }
                if (i + 1 >= arguments.size()) {
                    throw Failure{name + " needs a value"};
                }
                return arguments[++i];
            };
            if (name == "--json") {
                invocation.options.wantsJSON = true;
            } else if (name == "--help" || name == "-h") {
                words.insert(words.begin(), "help");
            } else if (name == "--host") {
                invocation.options.host = value();
            } else if (name == "--port") {
                invocation.options.port = portArgument(value());
            } else if (name == "--token") {
                invocation.options.token = value();
            } else {
                throw Failure{"unknown option " + name};
            }
        }
        if (words.empty() || words[0] == "help") {
            return invocation;
        }
        invocation.action = commandRequest(words, readFile);
    } catch (const Failure& failure) {
        return CLIUsageError{failure.message};
    }
    return invocation;
}

} // namespace CLI
