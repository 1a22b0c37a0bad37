// The failure of every model-provider operation, with the sentence the user sees. Cancellation is
// not one of these: a cancelled call ends with Runtime::CancellationError.
#pragma once

#include <exception>
#include <string>

namespace VedevaveApp {

class AgentProviderError : public std::exception {
public:
    enum class Kind { invalidConfiguration, invalidRequest, http, invalidResponse, invalidToolArguments };

    static AgentProviderError invalidConfiguration(std::string message);
    static AgentProviderError invalidRequest(std::string message);
    static AgentProviderError http(int status, std::string message);
    static AgentProviderError invalidResponse(std::string message);
    static AgentProviderError invalidToolArguments(std::string tool, std::string message);

    Kind kind() const { return kind_; }
    const std::string& message() const { return message_; }
    int status() const { return status_; }            // http only
    const std::string& tool() const { return tool_; } // invalidToolArguments only
    const std::string& description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    AgentProviderError(Kind kind, std::string message, int status, std::string tool);

    Kind kind_;
    std::string message_;
    int status_ = 0;
    std::string tool_;
    std::string description_;
};

} // namespace VedevaveApp
