// What `vedevave-cli` prints for an answer and the exit status it ends with: 0 when the server
// answered "ok": true, 1 otherwise, 2 when the server cannot be reached. Pure.
#pragma once

#include "CLI/CLICommand.h"

#include <functional>
#include <string>

namespace CLI {

struct CLIOutcome {
    std::string standardOutput;
    std::string standardError;
    int exitStatus = 0;
};

inline constexpr int exitOK = 0;
inline constexpr int exitFailed = 1;
inline constexpr int exitUnreachable = 2;

inline constexpr const char* startHint = "start it with: bash scripts/run --simulate --headless";

// A JSON answer: with --json the body unchanged, else a short human summary; errors on stderr.
CLIOutcome renderAnswer(const CLIOptions& options, long status, const std::string& body);

// An image answer for `screenshot`: saved through `writeFile` (false when writing failed).
CLIOutcome renderImage(const CLIOptions& options, const std::string& file, long status,
                       const std::string& contentType, const std::string& body,
                       const std::function<bool(const std::string&, const std::string&)>& writeFile);

CLIOutcome renderUnreachable(const CLIOptions& options, const std::string& detail);
CLIOutcome renderTransportError(const CLIOptions& options, const std::string& detail);
CLIOutcome renderUsageError(const std::string& message);

} // namespace CLI
