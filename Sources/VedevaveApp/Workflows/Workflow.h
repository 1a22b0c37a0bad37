// A named, replayable sequence of phone steps and its file form: one JSON object, pretty-printed
// with sorted keys, absent optional fields left out. Decoding checks the shape only; the limits that
// make a workflow safe to play are WorkflowStore::validate's. A plain value; any thread.
#pragma once

#include "VedevaveApp/Workflows/WorkflowStep.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace VedevaveApp {

struct Workflow {
    static constexpr int64_t currentVersion = 1;

    std::string name;
    int64_t version = currentVersion;
    std::string createdAt; // internet date-time in UTC, "2026-03-01T14:05:09Z"
    std::optional<int64_t> latencyP95Ms;
    std::vector<WorkflowStep> steps;

    Workflow() = default;
    // Version 1, created now (or at `createdAt`).
    Workflow(std::string name, std::vector<WorkflowStep> steps, std::optional<int64_t> latencyP95Ms,
             std::chrono::system_clock::time_point createdAt = std::chrono::system_clock::now());

    bool operator==(const Workflow&) const = default;
};

// A workflow file whose JSON does not have the workflow's shape: not JSON, a required field
// missing, a field of the wrong type, an unknown step kind.
class WorkflowDecodingError : public std::exception {
public:
    explicit WorkflowDecodingError(std::string detail);
    const std::string& detail() const { return detail_; }
    const std::string& description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    std::string detail_;
    std::string description_;
};

// "2026-03-01T14:05:09Z".
std::string internetDateTime(std::chrono::system_clock::time_point when);
// An internet date-time: date, "T", time with seconds and optional fraction, then "Z" or a
// numeric offset; every field in its range.
bool isInternetDateTime(std::string_view text);

// Pretty-printed with sorted keys. Never throws: text fields that are not UTF-8 (which validation
// refuses before a save) are written with replacement characters.
std::string encodeWorkflow(const Workflow& workflow);
// Throws WorkflowDecodingError. Unknown keys are ignored; optional fields may be missing or null.
Workflow decodeWorkflow(std::string_view jsonText);

} // namespace VedevaveApp
