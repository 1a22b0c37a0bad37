// WorkflowStore::validate: the limits that make a workflow safe to keep and to play.
#include "VedevaveApp/Workflows/WorkflowStore.h"
#include "VedevaveApp/Workflows/WorkflowText.h"

#include <cmath>

namespace VedevaveApp::WorkflowStore {

namespace {

constexpr std::size_t nameCharacters = 120;
constexpr std::size_t nameBytes = 480;
constexpr std::size_t createdAtBytes = 64;
constexpr int64_t latencyMaximumMs = 60'000;
constexpr std::size_t stepLimit = 2048;
constexpr std::size_t typeCharacters = 8192;
constexpr std::size_t typeBytes = 32'768;
constexpr std::size_t typeTotalCharacters = 65'536;
constexpr std::size_t typeTotalBytes = 262'144;
constexpr int64_t swipeMinimumMs = 120;
constexpr int64_t swipeMaximumMs = 10'000;
constexpr int64_t waitMaximumMs = 60'000;

bool isUnit(const std::optional<double>& value) {
    return value && std::isfinite(*value) && *value >= 0 && *value <= 1;
}

bool inRange(const std::optional<int64_t>& value, int64_t low, int64_t high) {
    return value && *value >= low && *value <= high;
}

bool isValidName(const std::string& name) {
    const std::string shown = WorkflowText::trimmed(name);
    return !shown.empty() &&
           WorkflowText::allScalars(shown, [](char32_t c) { return c >= 32 && c != 127; }) &&
           shown.size() <= nameBytes && WorkflowText::characterCount(shown) <= nameCharacters;
}

struct TypeTotals {
    std::size_t characters = 0;
    std::size_t bytes = 0;
};

bool isValidStep(const WorkflowStep& step, TypeTotals& totals) {
    using Kind = WorkflowStep::Kind;
    switch (step.kind) {
    case Kind::tap:
        return isUnit(step.x) && isUnit(step.y);
    case Kind::swipe:
        return isUnit(step.x) && isUnit(step.y) && isUnit(step.x1) && isUnit(step.y1) &&
               inRange(step.ms, swipeMinimumMs, swipeMaximumMs);
    case Kind::type: {
        if (!step.text || step.text->size() > typeBytes ||
            !WorkflowText::allScalars(*step.text, [](char32_t c) { return c >= 32 || c == 9 || c == 10; })) {
            return false;
        }
        const std::size_t characters = WorkflowText::characterCount(*step.text);
        totals.characters += characters;
        totals.bytes += step.text->size();
        return characters <= typeCharacters && totals.characters <= typeTotalCharacters &&
               totals.bytes <= typeTotalBytes;
    }
    case Kind::key:
        return inRange(step.usage, 1, 65'535) && inRange(step.mods, 0, 255);
    case Kind::button:
        return step.name && allowedButtons().contains(*step.name);
    case Kind::wait:
        return inRange(step.ms, 0, waitMaximumMs);
    }
    return false;
}

} // namespace

void validate(const Workflow& workflow) {
    if (!isValidName(workflow.name) || workflow.version != Workflow::currentVersion ||
        workflow.createdAt.empty() || workflow.createdAt.size() > createdAtBytes ||
        !isInternetDateTime(workflow.createdAt) ||
        (workflow.latencyP95Ms &&
         (*workflow.latencyP95Ms < 0 || *workflow.latencyP95Ms > latencyMaximumMs))) {
        throw WorkflowStoreError::invalidWorkflow();
    }
    if (workflow.steps.size() > stepLimit) {
        throw WorkflowStoreError::tooManySteps();
    }
    TypeTotals totals;
    for (std::size_t i = 0; i < workflow.steps.size(); ++i) {
        if (!isValidStep(workflow.steps[i], totals)) {
            throw WorkflowStoreError::invalidStep(i + 1);
        }
    }
}

} // namespace VedevaveApp::WorkflowStore
