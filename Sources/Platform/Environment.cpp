#include "Platform/Environment.h"

#include <cstdlib>
#include <mutex>

extern char** environ;

namespace Platform::Environment {

namespace {
std::mutex& environmentMutex() {
    static std::mutex mutex;
    return mutex;
}
} // namespace

std::optional<std::string> get(const std::string& name) {
    std::lock_guard lock(environmentMutex());
    if (const char* value = std::getenv(name.c_str())) {
        return std::string(value);
    }
    return std::nullopt;
}

std::optional<std::string> nonEmpty(const std::string& name) {
    auto value = get(name);
    if (value && value->empty()) {
        return std::nullopt;
    }
    return value;
}

void set(const std::string& name, const std::string& value) {
    std::lock_guard lock(environmentMutex());
    ::setenv(name.c_str(), value.c_str(), 1);
}

void unset(const std::string& name) {
    std::lock_guard lock(environmentMutex());
    ::unsetenv(name.c_str());
}

std::vector<std::string> snapshot() {
    std::lock_guard lock(environmentMutex());
    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        variables.emplace_back(*entry);
    }
    return variables;
}

} // namespace Platform::Environment
