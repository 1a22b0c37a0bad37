#include "VedevaveApp/App/AppArgs.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace VedevaveApp {

namespace {

// A real number in the C locale covering the whole text, with no leading white space.
std::optional<double> readReal(const std::string& text) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) {
        return std::nullopt;
    }
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    // Infinity and NaN parse as reals but would break every geometry computed from them.
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// A decimal integer with an optional leading "+" or "-" that fits 64 bits.
std::optional<int64_t> readInteger(const std::string& text) {
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (begin != end && *begin == '+') {
        ++begin;
        if (begin != end && *begin == '-') {
            return std::nullopt;
        }
    }
    if (begin == end) {
        return std::nullopt;
    }
    int64_t value = 0;
    auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

} // namespace

const std::string& AppArgs::usageText() {
    static const std::string text =
        "Vedevave — GPU-drawn iPhone mirror you drive with pointer and keyboard\n"
        "\n"
        "  Vedevave [--udid UDID] [--width 340] [--height 720] [--web] [--open-web] [--web-port 8090]\n"
        "\n"
        "Video uses the system CoreMediaIO screen device (same source as\n"
        "QuickTime / iPhone presentation). Control uses a CoreDevice\n"
        "tunnel — Network when available so USB stays free for capture.\n"
        "\n"
        "Web Mirror & Remote Access Parameters:\n"
        "  --web          Serve Web Mirror Studio at http://127.0.0.1:<port>/web\n"
        "  --open-web     Serve Web Mirror and open default web browser\n"
        "  --public       Generate a public HTTPS tunnel URL for remote control over the internet\n"
        "  --web-port N   Specify custom port for HTTP API and Web Mirror (default: 8090)\n"
        "\n"
        "Without --udid, a device picker lists USB iPhones at launch.\n"
        "Requires bin/DaridiveVarara (./tools/build_engine.sh).\n";
    return text;
}

AppArgs::Parsed AppArgs::parseWithoutExiting(const std::vector<std::string>& arguments) {
    Parsed parsed;
    AppArgs& args = parsed.args;
    const size_t count = arguments.size();
    auto valueAt = [&](size_t index) -> const std::string* {
        return index < count ? &arguments[index] : nullptr;
    };
    size_t i = 1;
    while (i < count) {
        const std::string& option = arguments[i];
        if (option == "-h" || option == "--help") {
            parsed.wantsHelp = true;
            return parsed;
        }
        if (option == "--udid" || option == "--width" || option == "--height" || option == "--http-port" ||
            option == "--web-port") {
            if (const std::string* value = valueAt(i + 1)) {
                if (option == "--udid") {
                    args.udid = *value;
                } else if (option == "--width") {
                    args.width = readReal(*value).value_or(args.width);
                } else if (option == "--height") {
                    args.height = readReal(*value).value_or(args.height);
                } else if (auto port = readInteger(*value)) {
                    args.httpPort = *port;
                    args.didSetHttpPort = true;
                }
            }
            i += 2; // the value's position is consumed whether or not it was present
            continue;
        }
        if (option == "--web") {
            args.web = true;
        } else if (option == "--open-web") {
            args.web = true;
            args.openWeb = true;
        } else if (option == "--headless") {
            args.headless = true;
        } else if (option == "--simulate") {
            args.simulate = true;
        } else if (option == "--allow-remote") {
            args.allowRemote = true;
        }
        ++i; // anything else, stray values included, is skipped silently
    }
    return parsed;
}

AppArgs AppArgs::parse(const std::vector<std::string>& arguments) {
    Parsed parsed = parseWithoutExiting(arguments);
    if (parsed.wantsHelp) {
        std::fputs(usageText().c_str(), stderr);
        std::fflush(stderr);
        std::exit(0);
    }
    return parsed.args;
}

AppArgs::PortChoice AppArgs::validatedHttpPort() const {
    // The engine listens one port above, so both must be valid TCP ports.
    if (httpPort >= 1 && httpPort <= 65534) {
        return {static_cast<int>(httpPort), std::nullopt};
    }
    return {static_cast<int>(defaultHttpPort),
            "Vedevave: port " + std::to_string(httpPort) + " is outside 1-65534; using " +
                std::to_string(defaultHttpPort)};
}

double AppArgs::initialAspectRatio() const { return width / std::max(height, 1.0); }

} // namespace VedevaveApp
