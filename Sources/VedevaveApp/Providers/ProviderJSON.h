// Bridges between the JSON library and the provider types, for the provider's source files only
// (keeps the JSON library out of the headers the rest of the application includes).
#pragma once

#include "VedevaveApp/Providers/AgentJSONValue.h"

#include <nlohmann/json.hpp>
#include <string_view>

namespace VedevaveApp::ProviderJSON {

// Parses untrusted text. Fails with AgentJSONError whose text is a readable description (the
// library's error code prefix removed) or "JSON nesting is too deep".
nlohmann::json parse(std::string_view text);

// Converts in the reading order of AgentJSONValue; numbers of any form become reals.
AgentJSONValue toAgentJSON(const nlohmann::json& value);
nlohmann::json toLibraryJSON(const AgentJSONValue& value);

// Text for a JSON library exception, without its "[json.exception...]" prefix.
std::string describe(const std::exception& error);

// Writes compact JSON; fails with AgentJSONError on ill-formed UTF-8 or a non-finite number.
std::string dump(const nlohmann::json& value);

} // namespace VedevaveApp::ProviderJSON
