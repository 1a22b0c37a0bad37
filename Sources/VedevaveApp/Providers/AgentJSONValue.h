// A JSON value as the chat types carry it: tool schemas going to a model and tool arguments coming
// back. A plain value; copies are independent and equality is structural (objects compare as maps,
// whatever the key order). Any thread may use it.
#pragma once

#include <cstddef>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace VedevaveApp {

// Reading or writing JSON failed; `what()` is a one-line description for the user.
class AgentJSONError : public std::runtime_error {
public:
    explicit AgentJSONError(const std::string& description) : std::runtime_error(description) {}
    std::string description() const { return what(); }
};

class AgentJSONValue {
public:
    using Array = std::vector<AgentJSONValue>;
    using Object = std::map<std::string, AgentJSONValue>;
    // The six cases, in the order a reader tries them.
    enum class Kind { boolean, number, string, array, object, null };

    AgentJSONValue() : storage_(nullptr) {}
    AgentJSONValue(std::nullptr_t) : storage_(nullptr) {}
    AgentJSONValue(bool value) : storage_(value) {}
    AgentJSONValue(double value) : storage_(value) {}
    AgentJSONValue(int value) : storage_(static_cast<double>(value)) {}
    AgentJSONValue(std::string value) : storage_(std::move(value)) {}
    AgentJSONValue(const char* value) : storage_(std::string(value)) {}
    AgentJSONValue(Array value) : storage_(std::move(value)) {}
    AgentJSONValue(Object value) : storage_(std::move(value)) {}

    Kind kind() const { return static_cast<Kind>(storage_.index()); }
    bool isNull() const { return kind() == Kind::null; }

    // Each accessor gives the value when the case matches, otherwise null.
    const bool* boolValue() const { return std::get_if<bool>(&storage_); }
    const double* numberValue() const { return std::get_if<double>(&storage_); }
    const std::string* stringValue() const { return std::get_if<std::string>(&storage_); }
    const Array* arrayValue() const { return std::get_if<Array>(&storage_); }
    const Object* objectValue() const { return std::get_if<Object>(&storage_); }

    // A member of an object; null when this is not an object or has no such key.
    const AgentJSONValue* member(const std::string& key) const;

    bool operator==(const AgentJSONValue& other) const { return storage_ == other.storage_; }

    // Reads one JSON text. Fails with AgentJSONError on malformed text, on nesting deeper than
    // `maximumDepth`, and on anything that is not one of the six cases ("Unsupported JSON value").
    static AgentJSONValue parse(std::string_view text);
    // Compact JSON text. Whole numbers within 2^53 are written without a fraction. Fails with
    // AgentJSONError for numbers that JSON cannot express (infinity, NaN) and for ill-formed UTF-8.
    std::string serialized() const;

    // Deeper documents are refused: the readers and writers recurse once per level.
    static constexpr size_t maximumDepth = 256;

private:
    std::variant<bool, double, std::string, Array, Object, std::nullptr_t> storage_;
};

} // namespace VedevaveApp
