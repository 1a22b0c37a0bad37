// EngineProcess: the real engine executable in a private folder, always stopped and reaped.
#include "EngineTestSupport.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>

extern char** environ;

namespace EngineTest {

std::string EngineProcess::executablePath() {
    const char* bin = std::getenv("VEDEVAVE_BIN_DIR");
    return std::string(bin != nullptr ? bin : "build/bin") + "/DaridiveVarara";
}

EngineProcess::EngineProcess(EngineLaunch launch) : udid_(launch.udid) {
    char folderTemplate[] = "/tmp/vvengine-XXXXXX";
    folder_ = ::mkdtemp(folderTemplate);
    port_ = launch.port != 0 ? launch.port : freePort();

    std::map<std::string, std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const size_t eq = entry.find('=');
        if (eq != std::string::npos && entry.rfind("VEDEVAVE_", 0) != 0) {
            environment[entry.substr(0, eq)] = entry.substr(eq + 1);
        }
    }
    environment["VEDEVAVE_RSD_PATH"] = rsdPath();
    environment["VEDEVAVE_CAPTURE_DIR"] = captureDir();
    environment["VEDEVAVE_SIM_SOCKET_DIR"] = socketDir();
    if (!launch.size.empty()) {
        environment["VEDEVAVE_SIM_SIZE"] = launch.size;
    }
    for (const auto& [name, value] : launch.environment) {
        environment[name] = value;
    }
    std::vector<std::string> arguments = launch.arguments;
    if (arguments.empty()) {
        arguments = {"--udid", udid_, "--transport", "usb", "--http-port", std::to_string(port_)};
    }

    std::vector<std::string> envStrings;
    for (const auto& [name, value] : environment) {
        envStrings.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (auto& s : envStrings) {
        envp.push_back(s.data());
    }
    envp.push_back(nullptr);
    std::string executable = executablePath();
    std::vector<char*> argv{executable.data()};
    for (auto& a : arguments) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const std::string logPath = folder_ + "/engine.log";

    pid_ = ::fork();
    if (pid_ == 0) {
        // If the test process dies without running destructors, the engine goes with it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(log, 1);
        ::dup2(log, 2);
        ::execve(executable.c_str(), argv.data(), envp.data());
        std::_Exit(127);
    }
    if (launch.waitUntilReady) {
        waitForStatus(200);
    }
}

EngineProcess::~EngineProcess() {
    if (pid_ > 0 && !exitStatus_) {
        if (!terminate(3s)) {
            ::kill(pid_, SIGKILL);
            waitForExit(3s);
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

std::string EngineProcess::hidSocketPath() const {
    return socketDir() + "/vedevave-" + std::to_string(port_) + "-hid.sock";
}

std::string EngineProcess::videoSocketPath() const {
    return socketDir() + "/vedevave-" + std::to_string(port_) + "-video.sock";
}

std::string EngineProcess::captureSocketPath() const {
    return captureDir() + "/" + udid_ + ".sock";
}

bool EngineProcess::waitForStatus(int status, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (httpRequest(port_, "GET", "/status", "", 1s).status == status) {
            return true;
        }
        if (!isRunning()) {
            return false;
        }
        usleep(20'000);
    }
    return false;
}

bool EngineProcess::isRunning() {
    if (exitStatus_) {
        return false;
    }
    return !waitForExit(0ms).has_value();
}

std::optional<int> EngineProcess::waitForExit(std::chrono::milliseconds timeout) {
    if (exitStatus_) {
        return exitStatus_;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return exitStatus_;
        }
        if (r < 0 || std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        usleep(5'000);
    }
}

std::optional<int> EngineProcess::terminate(std::chrono::milliseconds timeout) {
    if (!exitStatus_) {
        ::kill(pid_, SIGTERM);
    }
    return waitForExit(timeout);
}

nlohmann::json EngineProcess::debugState(const std::string& query) const {
    return httpRequest(port_, "GET", "/debug/state" + (query.empty() ? "" : "?" + query)).json();
}

std::string EngineProcess::log() const {
    std::ifstream in(folder_ + "/engine.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace EngineTest
