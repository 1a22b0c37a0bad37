#include "Engine/EngineOptions.h"

#include <cstdio>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>

namespace Engine {

const char* const engineUsageText =
    "usage: DaridiveVarara --udid UDID --transport usb|wifi --http-port PORT\n"
    "A simulated phone engine: HTTP control on 127.0.0.1:PORT, an HID socket, a KWVS/3 video socket,\n"
    "a screen-capture channel and the metadata file named by VEDEVAVE_RSD_PATH.\n";

namespace {

std::string trim(std::string s) {
    auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    s.erase(s.begin(), std::find_if(s.begin(), s.end(), notSpace));
    s.erase(std::find_if(s.rbegin(), s.rend(), notSpace).base(), s.end());
    return s;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// A decimal integer with an optional sign and nothing else (after trimming).
std::optional<long long> parseInteger(const std::string& text) {
    std::string t = trim(text);
    if (!t.empty() && t.front() == '+') {
        t.erase(0, 1);
    }
    long long value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec != std::errc() || end != t.data() + t.size() || t.empty()) {
        return std::nullopt;
    }
    return value;
}

// Replaces characters that cannot stand in a file name.
std::string fileSafe(const std::string& text) {
    std::string out;
    for (char c : text) {
        out.push_back(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' ? c
                                                                                                      : '_');
    }
    return out.empty() ? std::string("device") : out;
}

bool isTruthy(const std::string& text) {
    const std::string t = lower(trim(text));
    return t == "1" || t == "true" || t == "yes" || t == "on";
}

bool isFalsy(const std::string& text) {
    const std::string t = lower(trim(text));
    return t == "0" || t == "false" || t == "no" || t == "off";
}

} // namespace

std::string EngineOptions::hidSocketPath() const {
    return socketDir + "/vedevave-" + std::to_string(httpPort) + "-hid.sock";
}

std::string EngineOptions::videoSocketPath() const {
    return socketDir + "/vedevave-" + std::to_string(httpPort) + "-video.sock";
}

std::string EngineOptions::ringFilePath(int client) const {
    return socketDir + "/vedevave-" + std::to_string(httpPort) + "-ring-" + std::to_string(client) + ".bgra";
}

std::string EngineOptions::captureSocketPath() const {
    return captureDir + "/" + fileSafe(udid) + ".sock";
}

std::string EngineOptions::captureSidecarPath() const {
    return captureDir + "/" + fileSafe(udid) + ".json";
}

EnvironmentLookup processEnvironment() {
    return [](const std::string& name) -> std::optional<std::string> {
        const char* value = std::getenv(name.c_str());
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
}

EngineOptionsResult parseEngineOptions(const std::vector<std::string>& arguments,
                                       const EnvironmentLookup& environment) {
    EngineOptionsResult result;
    EngineOptions o;
    bool hasPort = false;
    auto fail = [&](std::string message) {
        result.error = std::move(message);
        return result;
    };

    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-h" || argument == "--help") {
            result.wantsHelp = true;
            return result;
        }
        std::string name = argument;
        std::optional<std::string> value;
        if (const size_t eq = argument.find('='); argument.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = argument.substr(0, eq);
            value = argument.substr(eq + 1);
        }
        if (name != "--udid" && name != "--transport" && name != "--http-port") {
            return fail("unknown argument \"" + argument + "\"");
        }
        if (!value) {
            if (i + 1 >= arguments.size()) {
                return fail(name + " needs a value");
            }
            value = arguments[++i];
        }
        if (name == "--udid") {
            if (value->empty()) {
                return fail("--udid must not be empty");
            }
            o.udid = *value;
        } else if (name == "--transport") {
            if (*value != "usb" && *value != "wifi") {
                return fail("--transport must be usb or wifi, not \"" + *value + "\"");
            }
            o.transport = *value;
        } else {
            const auto port = parseInteger(*value);
            if (!port || *port < 1 || *port > 65535) {
                return fail("--http-port must be a port number from 1 to 65535, not \"" + *value + "\"");
            }
            o.httpPort = static_cast<int>(*port);
            hasPort = true;
        }
    }
    if (o.udid.empty()) {
        return fail("--udid is required");
    }
    if (!hasPort) {
        return fail("--http-port is required");
    }

    auto env = [&](const char* name) { return environment(name); };
    auto envInt = [&](const char* name) -> std::optional<long long> {
        const auto text = env(name);
        return text ? parseInteger(*text) : std::nullopt;
    };

    if (auto v = env("VEDEVAVE_RSD_PATH"); v && !trim(*v).empty()) {
        o.rsdPath = trim(*v);
    }
    if (auto v = env("VEDEVAVE_CAPTURE_DIR"); v && !trim(*v).empty()) {
        o.captureDir = trim(*v);
    } else if (auto runtime = env("XDG_RUNTIME_DIR"); runtime && !runtime->empty()) {
        o.captureDir = *runtime + "/vedevave-capture";
    } else {
        o.captureDir = "/tmp/vedevave-capture";
    }
    if (auto v = env("VEDEVAVE_SIM_SOCKET_DIR"); v && !trim(*v).empty()) {
        o.socketDir = trim(*v);
    }
    if (auto v = env("VEDEVAVE_CLIPBOARD_FILE")) {
        o.clipboardFile = *v;
    }
    if (auto v = env("VEDEVAVE_SIM_SIZE")) {
        const std::string t = lower(trim(*v));
        const size_t x = t.find('x');
        const auto w = x == std::string::npos ? std::nullopt : parseInteger(t.substr(0, x));
        const auto h = x == std::string::npos ? std::nullopt : parseInteger(t.substr(x + 1));
        if (!w || !h || *w < 64 || *h < 64 || *w > 4096 || *h > 4096) {
            return fail("VEDEVAVE_SIM_SIZE must be WIDTHxHEIGHT with each side from 64 to 4096, not \"" + *v +
                        "\"");
        }
        o.width = static_cast<int>(*w);
        o.height = static_cast<int>(*h);
    }
    // Same reading as the application's captureFPS, but capped at 120 for the engine.
    if (auto fps = envInt("VEDEVAVE_CAPTURE_FPS"); fps && *fps > 0) {
        o.fps = static_cast<int>(std::min<long long>(*fps, 120));
    }
    if (auto v = envInt("VEDEVAVE_SIM_KEEPALIVE_FPS"); v && *v > 0) {
        o.captureKeepAliveFps = static_cast<int>(std::clamp<long long>(*v, 5, 120));
    }
    o.captureKeepAliveFps = std::min(o.captureKeepAliveFps, o.fps);
    if (auto v = envInt("VEDEVAVE_SIM_RING_SLOTS")) {
        o.ringSlots = static_cast<int>(std::clamp<long long>(*v, 2, 16));
    }
    if (auto v = env("VEDEVAVE_SIM_RING")) {
        const std::string t = lower(trim(*v));
        if (t == "path") {
            o.ringMode = RingMode::path;
        } else if (t != "fd" && t != "memfd" && !t.empty()) {
            return fail("VEDEVAVE_SIM_RING must be fd or path, not \"" + *v + "\"");
        }
    }
    if (auto v = env("VEDEVAVE_SIM_CAPTURE")) {
        o.captureEnabled = !isFalsy(*v);
    }
    if (auto v = env("VEDEVAVE_SIM_NAME"); v && !trim(*v).empty()) {
        o.deviceName = trim(*v);
    }

    o.keyboardPhone = env("VEDEVAVE_KB_PHONE").value_or("");
    o.landscape = env("VEDEVAVE_LANDSCAPE").value_or("");
    o.hidOrient = env("VEDEVAVE_HID_ORIENT").value_or("");
    o.push = env("VEDEVAVE_PUSH").value_or("rgba");
    o.rctl = env("VEDEVAVE_RCTL").value_or("1");
    o.native = env("VEDEVAVE_NATIVE").value_or("");
    o.videoTransport = env("VEDEVAVE_VIDEO_TRANSPORT").value_or("unix");

    o.phone.clipboardFile = o.clipboardFile;
    if (auto v = env("VEDEVAVE_SIM_KEYBOARD"); v && !trim(*v).empty()) {
        const auto layout = parseKeyboardLayout(*v);
        if (!layout) {
            return fail("VEDEVAVE_SIM_KEYBOARD must be us, fr or de, not \"" + *v + "\"");
        }
        o.phone.keyboard = *layout;
    }
    if (auto v = env("VEDEVAVE_SIM_CLOCK"); v && !trim(*v).empty()) {
        int h = -1;
        int m = -1;
        char extra = 0;
        const std::string t = trim(*v);
        if (std::sscanf(t.c_str(), "%d:%d%c", &h, &m, &extra) != 2 || h < 0 || h > 23 || m < 0 || m > 59) {
            return fail("VEDEVAVE_SIM_CLOCK must be a time HH:MM, not \"" + *v + "\"");
        }
        o.phone.frozenClock = t;
    }
    if (auto v = env("VEDEVAVE_SIM_LOCKED")) {
        o.phone.startsLocked = isTruthy(*v);
    }
    // The application's own reading of these two: "left"/"homeleft" put the home side left,
    // "buffer" (or VEDEVAVE_HID_ORIENT off) takes touches unturned, anything else is right.
    if (const std::string l = lower(trim(o.landscape)); !l.empty()) {
        o.phone.landscapeHome = (l == "left" || l == "homeleft") ? LandscapeHome::left
                                : l == "buffer"                  ? LandscapeHome::buffer
                                                                 : LandscapeHome::right;
    } else if (const std::string h = lower(trim(o.hidOrient)); h == "buffer" || h == "off" || h == "0") {
        o.phone.landscapeHome = LandscapeHome::buffer;
    }

    FaultSettings& f = o.faults;
    if (auto v = envInt("VEDEVAVE_SIM_EXIT_AFTER_MS"); v && *v >= 0) {
        f.exitAfterMs = *v;
    }
    if (auto v = envInt("VEDEVAVE_SIM_EXIT_STATUS"); v && *v >= 0 && *v <= 255) {
        f.exitStatus = static_cast<int>(*v);
    }
    if (auto v = envInt("VEDEVAVE_SIM_STATUS_DELAY_MS"); v && *v > 0) {
        f.statusDelayMs = *v;
    }
    if (auto v = env("VEDEVAVE_SIM_NO_METADATA")) {
        f.skipMetadata = isTruthy(*v);
    }
    if (auto v = envInt("VEDEVAVE_SIM_METADATA_DELAY_MS"); v && *v > 0) {
        f.metadataDelayMs = *v;
    }
    if (auto v = envInt("VEDEVAVE_SIM_CAPTURE_STALL_AFTER_MS"); v && *v > 0) {
        f.captureStallAfterMs = *v;
    }
    if (auto v = envInt("VEDEVAVE_SIM_CAPTURE_STALL_MS"); v && *v > 0) {
        f.captureStallMs = *v;
    }
    if (auto v = envInt("VEDEVAVE_SIM_VIDEO_STALL_MS"); v && *v > 0) {
        f.videoStallMs = *v;
    }
    if (auto v = env("VEDEVAVE_SIM_OPEN_APP_FAIL")) {
        const auto failure = parseOpenAppFailure(lower(trim(*v)));
        if (!failure) {
            return fail("VEDEVAVE_SIM_OPEN_APP_FAIL must be 404, 503 or none, not \"" + *v + "\"");
        }
        f.openAppFailure = *failure;
    }

    result.options = std::move(o);
    return result;
}

} // namespace Engine
