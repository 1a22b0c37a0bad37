#include "VedevaveApp/Workflows/WorkflowStep.h"

#include "VedevaveApp/Workflows/WorkflowText.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace VedevaveApp {

namespace {

constexpr std::array<std::string_view, 6> kindNames{"tap", "swipe", "type", "key", "button", "wait"};

// A type step's detail shows short texts whole and cuts longer ones.
constexpr std::size_t detailWholeBelow = 29;
constexpr std::size_t detailCutCharacters = 26;

std::string percent(std::optional<double> value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f%%", value.value_or(0) * 100);
    return text;
}

std::string swipeCoordinates(const WorkflowStep& step) {
    return percent(step.x) + "," + percent(step.y) + " \u2192 " + percent(step.x1) + "," + percent(step.y1);
}

std::string buttonName(const WorkflowStep& step) {
    return step.name.value_or("?");
}

} // namespace

WorkflowStep WorkflowStep::tap(double x, double y) {
    WorkflowStep step;
    step.kind = Kind::tap;
    step.x = x;
    step.y = y;
    return step;
}

WorkflowStep WorkflowStep::swipe(double x, double y, double x1, double y1, int64_t ms) {
    WorkflowStep step;
    step.kind = Kind::swipe;
    step.x = x;
    step.y = y;
    step.x1 = x1;
    step.y1 = y1;
    step.ms = ms;
    return step;
}

WorkflowStep WorkflowStep::type(std::string text) {
    WorkflowStep step;
    step.kind = Kind::type;
    step.text = std::move(text);
    return step;
}

WorkflowStep WorkflowStep::key(uint16_t usage, uint8_t mods) {
    WorkflowStep step;
    step.kind = Kind::key;
    step.usage = usage;
    step.mods = mods;
    return step;
}

WorkflowStep WorkflowStep::button(std::string name) {
    WorkflowStep step;
    step.kind = Kind::button;
    step.name = std::move(name);
    return step;
}

WorkflowStep WorkflowStep::wait(int64_t ms) {
    WorkflowStep step;
    step.kind = Kind::wait;
    step.ms = std::max<int64_t>(ms, 0);
    return step;
}

std::string WorkflowStep::title() const {
    switch (kind) {
    case Kind::tap:
        return "Tap";
    case Kind::swipe:
        return "Swipe";
    case Kind::type:
        return "Type";
    case Kind::key:
        return "Key";
    case Kind::button:
        return name ? WorkflowText::capitalized(*name) : "Button";
    case Kind::wait:
        return "Pause";
    }
    return "";
}

std::string WorkflowStep::summary() const {
    switch (kind) {
    case Kind::tap:
        return "Tap " + percent(x) + ", " + percent(y);
    case Kind::swipe:
        return "Swipe " + swipeCoordinates(*this);
    case Kind::type:
        return "Type \u201C" + text.value_or("") + "\u201D";
    case Kind::key:
        return "Key usage " + std::to_string(usage.value_or(0));
    case Kind::button:
        return "Button " + buttonName(*this);
    case Kind::wait:
        return "Pause " + formatMilliseconds(ms.value_or(0));
    }
    return "";
}

std::string WorkflowStep::detail() const {
    switch (kind) {
    case Kind::tap:
        return percent(x) + ", " + percent(y);
    case Kind::swipe:
        return swipeCoordinates(*this);
    case Kind::type: {
        const std::string shown = text.value_or("");
        if (WorkflowText::characterCount(shown) < detailWholeBelow) {
            return shown;
        }
        return WorkflowText::prefix(shown, detailCutCharacters) + "\u2026";
    }
    case Kind::key:
        return "usage " + std::to_string(usage.value_or(0));
    case Kind::button:
        return buttonName(*this);
    case Kind::wait:
        return formatMilliseconds(ms.value_or(0));
    }
    return "";
}

std::string_view rawValue(WorkflowStep::Kind kind) {
    return kindNames[static_cast<std::size_t>(kind)];
}

std::optional<WorkflowStep::Kind> stepKindFromRawValue(std::string_view raw) {
    for (std::size_t i = 0; i < kindNames.size(); ++i) {
        if (kindNames[i] == raw) {
            return static_cast<WorkflowStep::Kind>(i);
        }
    }
    return std::nullopt;
}

std::string formatMilliseconds(int64_t ms) {
    char text[64];
    if (ms > 999) {
        std::snprintf(text, sizeof text, "%.1fs", static_cast<double>(ms) / 1000.0);
    } else {
        std::snprintf(text, sizeof text, "%lld ms", static_cast<long long>(ms));
    }
    return text;
}

} // namespace VedevaveApp
