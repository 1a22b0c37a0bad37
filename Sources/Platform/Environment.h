// The process environment. Reads and writes are serialised here because setenv/unsetenv are not
// safe against concurrent getenv. Any thread may call.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace Platform::Environment {

std::optional<std::string> get(const std::string& name);
// The value when set and not empty.
std::optional<std::string> nonEmpty(const std::string& name);
void set(const std::string& name, const std::string& value);
void unset(const std::string& name);
// Every variable as "NAME=value", for handing the environment to a child process.
std::vector<std::string> snapshot();

} // namespace Platform::Environment
