// Why the workflow library refused a workflow or a file, with the sentence the user sees.
// Filesystem and decoding failures are not among these: they reach the caller as they are.
#pragma once

#include <cstddef>
#include <exception>
#include <string>

namespace VedevaveApp {

class WorkflowStoreError : public std::exception {
public:
    enum class Kind { invalidStep, importBlocked, invalidFile, fileTooLarge, tooManySteps, invalidWorkflow };

    // `stepNumber` counts from 1.
    static WorkflowStoreError invalidStep(std::size_t stepNumber) { return {Kind::invalidStep, stepNumber}; }
    static WorkflowStoreError importBlocked() { return {Kind::importBlocked, 0}; }
    static WorkflowStoreError invalidFile() { return {Kind::invalidFile, 0}; }
    static WorkflowStoreError fileTooLarge() { return {Kind::fileTooLarge, 0}; }
    static WorkflowStoreError tooManySteps() { return {Kind::tooManySteps, 0}; }
    static WorkflowStoreError invalidWorkflow() { return {Kind::invalidWorkflow, 0}; }

    Kind kind() const { return kind_; }
    std::size_t stepNumber() const { return stepNumber_; } // invalidStep only
    const std::string& description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    bool operator==(const WorkflowStoreError& other) const {
        return kind_ == other.kind_ && stepNumber_ == other.stepNumber_;
    }

private:
    WorkflowStoreError(Kind kind, std::size_t stepNumber);

    Kind kind_;
    std::size_t stepNumber_;
    std::string description_;
};

} // namespace VedevaveApp
