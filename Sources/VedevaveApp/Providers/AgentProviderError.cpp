#include "VedevaveApp/Providers/AgentProviderError.h"

namespace VedevaveApp {

AgentProviderError::AgentProviderError(Kind kind, std::string message, int status, std::string tool)
    : kind_(kind), message_(std::move(message)), status_(status), tool_(std::move(tool)) {
    switch (kind_) {
    case Kind::invalidConfiguration:
        description_ = "Invalid provider configuration: " + message_;
        break;
    case Kind::invalidRequest:
        description_ = "Invalid LLM request: " + message_;
        break;
    case Kind::http:
        description_ = "LLM HTTP " + std::to_string(status_) + ": " + message_;
        break;
    case Kind::invalidResponse:
        description_ = "Invalid LLM response: " + message_;
        break;
    case Kind::invalidToolArguments:
        description_ = "Invalid arguments for " + tool_ + ": " + message_;
        break;
    }
}

AgentProviderError AgentProviderError::invalidConfiguration(std::string message) {
    return {Kind::invalidConfiguration, std::move(message), 0, {}};
}
AgentProviderError AgentProviderError::invalidRequest(std::string message) {
    return {Kind::invalidRequest, std::move(message), 0, {}};
}
AgentProviderError AgentProviderError::http(int status, std::string message) {
    return {Kind::http, std::move(message), status, {}};
}
AgentProviderError AgentProviderError::invalidResponse(std::string message) {
    return {Kind::invalidResponse, std::move(message), 0, {}};
}
AgentProviderError AgentProviderError::invalidToolArguments(std::string tool, std::string message) {
    return {Kind::invalidToolArguments, std::move(message), 0, std::move(tool)};
}

} // namespace VedevaveApp
