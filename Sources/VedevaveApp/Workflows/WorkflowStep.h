// One phone action of a workflow (a tap, swipe, typed text, key, hardware button or pause), and the
// value every actor (local API, macros, agent, playback) hands to the player. A plain value; any
// thread may use it. Fields a kind does not use stay absent and are left out of the JSON form.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace VedevaveApp {

struct WorkflowStep {
    enum class Kind { tap, swipe, type, key, button, wait };

    Kind kind = Kind::wait;
    std::optional<double> x; // tap point, swipe start (normalized content coordinates)
    std::optional<double> y;
    std::optional<double> x1; // swipe end
    std::optional<double> y1;
    std::optional<std::string> text; // type
    std::optional<int64_t> usage;    // key: HID keyboard usage
    std::optional<int64_t> mods;     // key: modifier mask
    std::optional<std::string> name; // button
    std::optional<int64_t> ms;       // swipe duration, wait length

    static WorkflowStep tap(double x, double y);
    static WorkflowStep swipe(double x, double y, double x1, double y1, int64_t ms);
    static WorkflowStep type(std::string text);
    static WorkflowStep key(uint16_t usage, uint8_t mods);
    static WorkflowStep button(std::string name);
    // Negative lengths become 0.
    static WorkflowStep wait(int64_t ms);

    // The texts the workflow sidebar and the live strip list a step by.
    std::string title() const;
    std::string summary() const;
    std::string detail() const;

    bool operator==(const WorkflowStep&) const = default;
};

// "tap", "swipe", "type", "key", "button", "wait".
std::string_view rawValue(WorkflowStep::Kind kind);
std::optional<WorkflowStep::Kind> stepKindFromRawValue(std::string_view raw);

// "1.5s" above 999 ms, else "80 ms".
std::string formatMilliseconds(int64_t ms);

} // namespace VedevaveApp
