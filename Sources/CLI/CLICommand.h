// The command line of `vedevave-cli` (installed as tools/vedevave): global options and one
// command, turned into the one HTTP request that carries it out. Pure; reads files only for
// `do FILE` and `workflow save FILE` (through the reader given).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace CLI {

struct CLIOptions {
    std::string host = "127.0.0.1";
    uint16_t port = 8090;
    std::string token; // sent as "Authorization: Bearer <token>" when not empty
    bool wantsJSON = false;
};

struct CLIRequest {
    std::string method = "GET";
    std::string path;
    std::optional<std::string> body; // JSON text
    // The answer is an image to save here instead of a JSON object.
    std::optional<std::string> imageFile;
    // How long the server may take; a wait asks for longer.
    int timeoutSeconds = 120;
};

struct CLIInvocation {
    CLIOptions options;
    std::variant<std::monostate, CLIRequest> action; // monostate: print the help text
};

struct CLIUsageError {
    std::string message;
};

// Reads a file ("-" means standard input); nothing when it cannot be read.
using CLIFileReader = std::function<std::optional<std::string>(const std::string&)>;

// `arguments` without the program name. `environmentPort` and `environmentToken` are the values of
// VEDEVAVE_API_PORT and VEDEVAVE_API_TOKEN, the defaults for --port and --token.
std::variant<CLIInvocation, CLIUsageError>
parseCommandLine(const std::vector<std::string>& arguments, const std::optional<std::string>& environmentPort,
                 const std::optional<std::string>& environmentToken, const CLIFileReader& readFile);

const std::string& usageText();

inline constexpr const char* defaultScreenshotFile = "vedevave-screenshot.jpg";

} // namespace CLI
