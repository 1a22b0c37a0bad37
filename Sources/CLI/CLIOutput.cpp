#include "CLI/CLIOutput.h"

#include <nlohmann/json.hpp>

namespace CLI {

namespace {

using nlohmann::json;

std::string plain(const json& value) {
    return value.is_string() ? value.get<std::string>() : value.dump();
}

std::string serverAddress(const CLIOptions& options) {
    return "http://" + options.host + ":" + std::to_string(options.port);
}

// {"ok": true, "action": "tap", "x": 0.5} → "tap x=0.5"; the status object as "key: value" lines;
// anything else indented.
std::string summary(const json& answer) {
    if (answer.contains("action")) {
        std::string line = plain(answer["action"]);
        for (const auto& [key, value] : answer.items()) {
            if (key != "ok" && key != "action") {
                line += " " + key + "=" + plain(value);
            }
        }
        return line + "\n";
    }
    bool isFlat = true;
    for (const auto& [key, value] : answer.items()) {
        isFlat = isFlat && !value.is_structured();
    }
    if (!isFlat) {
        return answer.dump(2) + "\n";
    }
    std::string lines;
    for (const auto& [key, value] : answer.items()) {
        if (key != "ok") {
            lines += key + ": " + plain(value) + "\n";
        }
    }
    return lines.empty() ? "ok\n" : lines;
}

} // namespace

CLIOutcome renderAnswer(const CLIOptions& options, long status, const std::string& body) {
    CLIOutcome outcome;
    const json answer = json::parse(body, nullptr, false);
    const bool isObject = answer.is_object();
    const bool isOK = isObject && answer.value("ok", false) == true;
    outcome.exitStatus = isOK ? exitOK : exitFailed;
    if (options.wantsJSON) {
        outcome.standardOutput = body + (body.empty() || body.back() != '\n' ? "\n" : "");
        return outcome;
    }
    if (isOK) {
        outcome.standardOutput = summary(answer);
    } else if (isObject && answer.contains("error")) {
        outcome.standardError =
            "vedevave: " + plain(answer["error"]) + " (HTTP " + std::to_string(status) + ")\n";
    } else {
        outcome.standardError = "vedevave: unexpected answer from " + serverAddress(options) + " (HTTP " +
                                std::to_string(status) + ")\n";
    }
    return outcome;
}

CLIOutcome renderImage(const CLIOptions& options, const std::string& file, long status,
                       const std::string& contentType, const std::string& body,
                       const std::function<bool(const std::string&, const std::string&)>& writeFile) {
    if (status != 200 || contentType.rfind("image/", 0) != 0 || body.empty()) {
        return renderAnswer(options, status, body);
    }
    CLIOutcome outcome;
    if (!writeFile(file, body)) {
        outcome.exitStatus = exitFailed;
        outcome.standardError = "vedevave: cannot write " + file + "\n";
        return outcome;
    }
    if (options.wantsJSON) {
        outcome.standardOutput = json{{"ok", true}, {"path", file}, {"bytes", body.size()}}.dump() + "\n";
    } else {
        outcome.standardOutput = "saved " + file + " (" + std::to_string(body.size()) + " bytes)\n";
    }
    return outcome;
}

CLIOutcome renderUnreachable(const CLIOptions& options, const std::string& detail) {
    CLIOutcome outcome;
    outcome.exitStatus = exitUnreachable;
    outcome.standardError = "vedevave: cannot reach the Vedevave API at " + serverAddress(options) + " (" +
                            detail + ")\nvedevave: " + startHint + "\n";
    return outcome;
}

CLIOutcome renderTransportError(const CLIOptions& options, const std::string& detail) {
    CLIOutcome outcome;
    outcome.exitStatus = exitFailed;
    outcome.standardError = "vedevave: request to " + serverAddress(options) + " failed: " + detail + "\n";
    return outcome;
}

CLIOutcome renderUsageError(const std::string& message) {
    CLIOutcome outcome;
    outcome.exitStatus = exitFailed;
    outcome.standardError = "vedevave: " + message + "\n";
    return outcome;
}

} // namespace CLI
