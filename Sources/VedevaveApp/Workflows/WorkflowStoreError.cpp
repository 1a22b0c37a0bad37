#include "VedevaveApp/Workflows/WorkflowStoreError.h"

namespace VedevaveApp {

namespace {

std::string describe(WorkflowStoreError::Kind kind, std::size_t stepNumber) {
    using Kind = WorkflowStoreError::Kind;
    switch (kind) {
    case Kind::invalidStep:
        return "Workflow step " + std::to_string(stepNumber) + " is invalid or exceeds its safety limit.";
    case Kind::importBlocked:
        return "Workflows can only be loaded from Vedevave's workflow library.";
    case Kind::invalidFile:
        return "The workflow must be a regular JSON file, not a symbolic link.";
    case Kind::fileTooLarge:
        return "The workflow file exceeds the 2 MB limit.";
    case Kind::tooManySteps:
        return "A workflow can contain at most 2,048 steps.";
    case Kind::invalidWorkflow:
        return "The workflow metadata is invalid or exceeds its safety limit.";
    }
    return "";
}

} // namespace

WorkflowStoreError::WorkflowStoreError(Kind kind, std::size_t stepNumber)
    : kind_(kind), stepNumber_(stepNumber), description_(describe(kind, stepNumber)) {}

} // namespace VedevaveApp
