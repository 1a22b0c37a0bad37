#include "VedevaveApp/Providers/AgentJSONValue.h"

#include "VedevaveApp/Providers/ProviderJSON.h"

#include <cmath>

namespace VedevaveApp {

namespace {

constexpr const char* unsupportedValueText = "Unsupported JSON value";
constexpr const char* tooDeepText = "JSON nesting is too deep";
constexpr const char* notFiniteText = "JSON cannot express a number that is not finite";
constexpr double largestExactInteger = 9007199254740992.0; // 2^53

AgentJSONValue convert(const nlohmann::json& value, size_t depth) {
    if (depth > AgentJSONValue::maximumDepth) {
        throw AgentJSONError(tooDeepText);
    }
    switch (value.type()) {
    case nlohmann::json::value_t::null:
        return nullptr;
    case nlohmann::json::value_t::boolean:
        return value.get<bool>();
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned:
    case nlohmann::json::value_t::number_float:
        return value.get<double>();
    case nlohmann::json::value_t::string:
        return value.get<std::string>();
    case nlohmann::json::value_t::array: {
        AgentJSONValue::Array array;
        array.reserve(value.size());
        for (const auto& element : value) {
            array.push_back(convert(element, depth + 1));
        }
        return array;
    }
    case nlohmann::json::value_t::object: {
        AgentJSONValue::Object object;
        for (const auto& [key, element] : value.items()) {
            object.insert_or_assign(key, convert(element, depth + 1));
        }
        return object;
    }
    default:
        throw AgentJSONError(unsupportedValueText);
    }
}

nlohmann::json convertBack(const AgentJSONValue& value, size_t depth) {
    if (depth > AgentJSONValue::maximumDepth) {
        throw AgentJSONError(tooDeepText);
    }
    switch (value.kind()) {
    case AgentJSONValue::Kind::boolean:
        return *value.boolValue();
    case AgentJSONValue::Kind::number: {
        const double number = *value.numberValue();
        if (!std::isfinite(number)) {
            throw AgentJSONError(notFiniteText);
        }
        // Schemas read better as {"maximum": 10} than {"maximum": 10.0}.
        if (std::trunc(number) == number && std::fabs(number) <= largestExactInteger) {
            return static_cast<int64_t>(number);
        }
        return number;
    }
    case AgentJSONValue::Kind::string:
        return *value.stringValue();
    case AgentJSONValue::Kind::array: {
        auto array = nlohmann::json::array();
        for (const auto& element : *value.arrayValue()) {
            array.push_back(convertBack(element, depth + 1));
        }
        return array;
    }
    case AgentJSONValue::Kind::object: {
        auto object = nlohmann::json::object();
        for (const auto& [key, element] : *value.objectValue()) {
            object[key] = convertBack(element, depth + 1);
        }
        return object;
    }
    case AgentJSONValue::Kind::null:
        break;
    }
    return nullptr;
}

} // namespace

namespace ProviderJSON {

std::string describe(const std::exception& error) {
    std::string text = error.what();
    if (text.starts_with("[json.exception.")) {
        const auto close = text.find("] ");
        if (close != std::string::npos) {
            text.erase(0, close + 2);
        }
    }
    return text;
}

nlohmann::json parse(std::string_view text) {
    bool isTooDeep = false;
    // The library's parser is iterative, but converting and destroying deep documents recurse:
    // refuse them while parsing, before anything recursive sees them.
    nlohmann::json::parser_callback_t callback = [&](int depth, nlohmann::json::parse_event_t event,
                                                     nlohmann::json&) {
        if ((event == nlohmann::json::parse_event_t::object_start ||
             event == nlohmann::json::parse_event_t::array_start) &&
            static_cast<size_t>(depth) >= AgentJSONValue::maximumDepth) {
            isTooDeep = true;
            return false;
        }
        return !isTooDeep;
    };
    nlohmann::json value;
    try {
        value = nlohmann::json::parse(text.begin(), text.end(), callback);
    } catch (const nlohmann::json::exception& error) {
        throw AgentJSONError(describe(error));
    }
    if (isTooDeep) {
        throw AgentJSONError(tooDeepText);
    }
    return value;
}

AgentJSONValue toAgentJSON(const nlohmann::json& value) {
    return convert(value, 0);
}

nlohmann::json toLibraryJSON(const AgentJSONValue& value) {
    return convertBack(value, 0);
}

std::string dump(const nlohmann::json& value) {
    try {
        return value.dump();
    } catch (const nlohmann::json::exception& error) {
        throw AgentJSONError(describe(error));
    }
}

} // namespace ProviderJSON

const AgentJSONValue* AgentJSONValue::member(const std::string& key) const {
    const auto* object = objectValue();
    if (!object) {
        return nullptr;
    }
    auto found = object->find(key);
    return found == object->end() ? nullptr : &found->second;
}

AgentJSONValue AgentJSONValue::parse(std::string_view text) {
    return ProviderJSON::toAgentJSON(ProviderJSON::parse(text));
}

std::string AgentJSONValue::serialized() const {
    return ProviderJSON::dump(ProviderJSON::toLibraryJSON(*this));
}

} // namespace VedevaveApp
