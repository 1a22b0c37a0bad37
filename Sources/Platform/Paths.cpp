#include "Platform/Paths.h"

#include "Platform/Environment.h"

#include <fstream>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace Platform::Paths {

namespace {
fs::path fromEnvironmentOr(const char* name, const fs::path& fallback) {
    auto value = Environment::nonEmpty(name);
    // The XDG rules ignore relative values.
    if (value && fs::path(*value).is_absolute()) {
        return *value;
    }
    return fallback;
}

fs::path userDirectory(const std::string& key, const char* defaultName) {
    const fs::path configHome = fromEnvironmentOr("XDG_CONFIG_HOME", home() / ".config");
    std::ifstream file(configHome / "user-dirs.dirs");
    if (file) {
        std::stringstream text;
        text << file.rdbuf();
        fs::path found = userDirectoryEntry(text.str(), key, home());
        if (!found.empty()) {
            return found;
        }
    }
    return home() / defaultName;
}
} // namespace

fs::path home() {
    if (auto value = Environment::nonEmpty("HOME")) {
        return *value;
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) {
        return entry->pw_dir;
    }
    return "/tmp";
}

fs::path configDirectory() { return fromEnvironmentOr("XDG_CONFIG_HOME", home() / ".config") / "vedevave"; }

fs::path dataDirectory() { return fromEnvironmentOr("XDG_DATA_HOME", home() / ".local/share") / "vedevave"; }

fs::path documentsDirectory() { return userDirectory("XDG_DOCUMENTS_DIR", "Documents"); }

fs::path desktopDirectory() { return userDirectory("XDG_DESKTOP_DIR", "Desktop"); }

fs::path runtimeDirectory() { return fromEnvironmentOr("XDG_RUNTIME_DIR", temporaryDirectory()); }

fs::path temporaryDirectory() { return fromEnvironmentOr("TMPDIR", "/tmp"); }

fs::path userDirectoryEntry(const std::string& fileText, const std::string& key, const fs::path& homePath) {
    std::istringstream lines(fileText);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(key + "=", 0) != 0) {
            continue;
        }
        std::string value = line.substr(key.size() + 1);
        if (value.size() < 2 || value.front() != '"' || value.back() != '"') {
            return {};
        }
        value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0) {
            std::string rest = value.substr(5);
            while (!rest.empty() && rest.front() == '/') {
                rest.erase(0, 1);
            }
            return rest.empty() ? homePath : homePath / rest;
        }
        if (!value.empty() && value.front() == '/') {
            return value;
        }
        return {};
    }
    return {};
}

} // namespace Platform::Paths
