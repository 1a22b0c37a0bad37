#include "VedevaveApp/Providers/AgentChatTypes.h"

#include "VedevaveApp/Providers/ProviderJSON.h"

#include <array>

namespace VedevaveApp {

namespace {

constexpr std::array<std::pair<AIReasoningEffort, std::string_view>, 5> effortTexts{{
    {AIReasoningEffort::providerDefault, "provider-default"},
    {AIReasoningEffort::none, "none"},
    {AIReasoningEffort::low, "low"},
    {AIReasoningEffort::medium, "medium"},
    {AIReasoningEffort::high, "high"},
}};

constexpr std::array<std::pair<AgentChatRole, std::string_view>, 4> roleTexts{{
    {AgentChatRole::system, "system"},
    {AgentChatRole::user, "user"},
    {AgentChatRole::assistant, "assistant"},
    {AgentChatRole::tool, "tool"},
}};

constexpr std::array<std::pair<AgentChatImage::Detail, std::string_view>, 3> detailTexts{{
    {AgentChatImage::Detail::automatic, "auto"},
    {AgentChatImage::Detail::low, "low"},
    {AgentChatImage::Detail::high, "high"},
}};

template <typename Enum, size_t N>
std::string_view textOf(const std::array<std::pair<Enum, std::string_view>, N>& table, Enum value) {
    for (const auto& [candidate, text] : table) {
        if (candidate == value) {
            return text;
        }
    }
    return table.front().second;
}

template <typename Enum, size_t N>
std::optional<Enum> valueOf(const std::array<std::pair<Enum, std::string_view>, N>& table,
                            std::string_view text) {
    for (const auto& [candidate, candidateText] : table) {
        if (candidateText == text) {
            return candidate;
        }
    }
    return std::nullopt;
}

int64_t readCount(const nlohmann::json& object, const char* key) {
    auto found = object.find(key);
    if (found == object.end()) {
        throw AgentJSONError(std::string("missing key \"") + key + "\"");
    }
    if (found->is_number_unsigned()) {
        if (found->get<uint64_t>() > static_cast<uint64_t>(INT64_MAX)) {
            throw AgentJSONError(std::string("\"") + key + "\" is too large");
        }
        return static_cast<int64_t>(found->get<uint64_t>());
    }
    if (!found->is_number_integer() || found->get<int64_t>() < 0) {
        throw AgentJSONError(std::string("\"") + key + "\" must be a whole number of 0 or more");
    }
    return found->get<int64_t>();
}

} // namespace

namespace AIReasoningEffortText {
std::string_view raw(AIReasoningEffort effort) {
    return textOf(effortTexts, effort);
}
std::optional<AIReasoningEffort> fromRaw(std::string_view text) {
    return valueOf(effortTexts, text);
}
std::optional<std::string> requestValue(AIReasoningEffort effort) {
    if (effort == AIReasoningEffort::providerDefault) {
        return std::nullopt;
    }
    return std::string(raw(effort));
}
} // namespace AIReasoningEffortText

std::string_view rawText(AgentChatRole role) {
    return textOf(roleTexts, role);
}
std::optional<AgentChatRole> agentChatRoleFromRaw(std::string_view text) {
    return valueOf(roleTexts, text);
}

std::string_view rawText(AgentChatImage::Detail detail) {
    return textOf(detailTexts, detail);
}
std::optional<AgentChatImage::Detail> agentChatImageDetailFromRaw(std::string_view text) {
    return valueOf(detailTexts, text);
}

std::string AgentTokenUsage::jsonText() const {
    return nlohmann::json{
        {"promptTokens", promptTokens}, {"completionTokens", completionTokens}, {"totalTokens", totalTokens}}
        .dump();
}

AgentTokenUsage AgentTokenUsage::fromJSONText(std::string_view text) {
    const auto value = ProviderJSON::parse(text);
    if (!value.is_object()) {
        throw AgentJSONError("token usage must be a JSON object");
    }
    return {readCount(value, "promptTokens"), readCount(value, "completionTokens"),
            readCount(value, "totalTokens")};
}

} // namespace VedevaveApp
