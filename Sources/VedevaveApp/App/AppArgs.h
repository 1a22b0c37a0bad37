// The command line, read once at start-up into a plain value that never changes afterwards.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace VedevaveApp {

struct AppArgs {
    std::optional<std::string> udid;
    double width = 340;
    double height = 720;
    int64_t httpPort = 8090;
    bool web = false;
    bool openWeb = false;
    // Whether "--http-port" or "--web-port" was given with a valid value: the local server then
    // listens on that port instead of VEDEVAVE_API_PORT.
    bool didSetHttpPort = false;
    // Run without a window (also the default when no display is available).
    bool headless = false;
    // Boot the bundled simulated phone instead of a USB phone.
    bool simulate = false;
    // Let other machines reach the local API (with its token); loopback only otherwise.
    bool allowRemote = false;

    static constexpr int64_t defaultHttpPort = 8090;

    // Reads the full argument vector (element 0, the program path, is skipped). Never fails; for
    // "-h" and "--help" it writes the usage text to standard error and exits with status 0.
    static AppArgs parse(const std::vector<std::string>& arguments);

    // The result of parsing, or the request for help: the testable part of `parse`.
    struct Parsed;
    static Parsed parseWithoutExiting(const std::vector<std::string>& arguments);

    // `httpPort` when both it and the engine's port (one above) are valid TCP ports, else the
    // default; `warning` then says what was replaced.
    struct PortChoice {
        int port;
        std::optional<std::string> warning;
    };
    PortChoice validatedHttpPort() const;

    // width / max(height, 1)
    double initialAspectRatio() const;

    static const std::string& usageText();
};

struct AppArgs::Parsed {
    AppArgs args;
    bool wantsHelp = false;
};

} // namespace VedevaveApp
