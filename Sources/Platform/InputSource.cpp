#include "Platform/InputSource.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace Platform {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto isBlank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '"' || c == '\'';
    };
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view firstListEntry(std::string_view list, char separator) {
    return trimmed(list.substr(0, list.find(separator)));
}

std::optional<std::string> processEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (!value) {
        return std::nullopt;
    }
    return std::string(value);
}

// Runs `setxkbmap -query` and returns its output, or "" when it cannot run or takes longer than a
// second (an X server that does not answer must not freeze key handling).
std::string runSetxkbmapQuery() {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char program[] = "setxkbmap";
    char option[] = "-query";
    char* argv[] = {program, option, nullptr};
    pid_t child = -1;
    const int spawnError = ::posix_spawnp(&child, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawnError != 0) {
        ::close(pipeFds[0]);
        return {};
    }

    std::string output;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    bool didFinish = false;
    while (output.size() < 64 * 1024) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd readable{pipeFds[0], POLLIN, 0};
        const int ready = ::poll(&readable, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            break;
        }
        char buffer[4096];
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            didFinish = true;
            break;
        }
        output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    if (!didFinish) {
        ::kill(child, SIGKILL);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!didFinish || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return {};
    }
    return output;
}

std::string setxkbmapInputSourceID() {
    using Clock = std::chrono::steady_clock;
    static std::mutex lock;
    static std::optional<Clock::time_point> askedAt; // guarded by lock
    static std::string answer;                       // guarded by lock

    std::lock_guard guard(lock);
    if (askedAt && Clock::now() - *askedAt < std::chrono::seconds(1)) {
        return answer;
    }
    answer = inputSourceIDFromSetxkbmapQuery(runSetxkbmapQuery());
    askedAt = Clock::now();
    return answer;
}

} // namespace

std::optional<std::string> preferredLanguageFrom(const EnvironmentLookup& environment) {
    std::string value;
    if (auto language = environment("LANGUAGE")) {
        value = std::string(firstListEntry(*language, ':'));
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (!value.empty()) {
            break;
        }
        if (auto locale = environment(name)) {
            value = std::string(trimmed(*locale));
        }
    }
    // "fr_FR.UTF-8@euro" names the language fr-FR; the codeset and modifier say nothing about it.
    value = value.substr(0, value.find_first_of(".@"));
    if (value.empty() || value == "C" || value == "POSIX") {
        return std::nullopt;
    }
    for (char& c : value) {
        if (c == '_') {
            c = '-';
        }
    }
    return value;
}

std::optional<std::string> firstPreferredLanguage() {
    return preferredLanguageFrom(processEnvironment);
}

std::string xkbInputSourceID(std::string_view layouts, std::string_view variants) {
    const auto layout = firstListEntry(layouts, ',');
    if (layout.empty()) {
        return {};
    }
    const auto variant = firstListEntry(variants, ',');
    std::string identifier = "xkb:" + std::string(layout);
    if (!variant.empty()) {
        identifier += "(" + std::string(variant) + ")";
    }
    return identifier;
}

std::string inputSourceIDFromSetxkbmapQuery(std::string_view output) {
    std::string layouts;
    std::string variants;
    std::istringstream lines{std::string(output)};
    for (std::string line; std::getline(lines, line);) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        const auto key = trimmed(std::string_view(line).substr(0, colon));
        const auto value = trimmed(std::string_view(line).substr(colon + 1));
        if (key == "layout") {
            layouts = value;
        } else if (key == "variant") {
            variants = value;
        }
    }
    return xkbInputSourceID(layouts, variants);
}

std::string inputSourceIDFromKeyboardConfiguration(std::string_view contents) {
    std::string layouts;
    std::string variants;
    std::istringstream lines{std::string(contents)};
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const auto key = trimmed(std::string_view(line).substr(0, equals));
        const auto value = trimmed(std::string_view(line).substr(equals + 1));
        if (key == "XKBLAYOUT") {
            layouts = value;
        } else if (key == "XKBVARIANT") {
            variants = value;
        }
    }
    return xkbInputSourceID(layouts, variants);
}

std::string currentInputSourceID() {
    if (auto layouts = processEnvironment("XKB_DEFAULT_LAYOUT"); layouts && !trimmed(*layouts).empty()) {
        return xkbInputSourceID(*layouts, processEnvironment("XKB_DEFAULT_VARIANT").value_or(""));
    }
    if (auto display = processEnvironment("DISPLAY"); display && !display->empty()) {
        if (auto identifier = setxkbmapInputSourceID(); !identifier.empty()) {
            return identifier;
        }
    }
    std::ifstream configuration("/etc/default/keyboard");
    if (!configuration) {
        return {};
    }
    std::stringstream contents;
    contents << configuration.rdbuf();
    return inputSourceIDFromKeyboardConfiguration(contents.str());
}

} // namespace Platform
