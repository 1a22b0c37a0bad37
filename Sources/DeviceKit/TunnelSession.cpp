#include "DeviceKit/TunnelSession.h"

#include "Platform/Environment.h"
#include "Runtime/Executors.h"
#include "Runtime/HttpClient.h"
#include "Runtime/Log.h"
#include "Runtime/Task.h"

#include <asio/post.hpp>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace DeviceKit {

namespace {

constexpr std::chrono::seconds terminateGrace{5};
constexpr std::chrono::milliseconds maximumStatusRequest{5000};

bool isExecutableFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

bool runsThroughShell(const fs::path& engine) {
    const std::string extension = engine.extension().string();
    if (extension == ".py" || extension == ".sh") {
        return true;
    }
    std::ifstream file(engine, std::ios::binary);
    char start[2] = {};
    return file.read(start, 2) && start[0] == '#' && start[1] == '!';
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (auto& text : texts) {
        out.push_back(text.data());
    }
    out.push_back(nullptr);
    return out;
}

// Length of the UTF-8 sequence starting with `lead`, 0 if it cannot start one.
size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

// Runs a shell command and waits for it; failures are ignored by design.
void runShell(const std::string& command) {
    pid_t pid = ::fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::close_range(3, ~0U, 0);
        const char* argv[] = {"/bin/bash", "-c", command.c_str(), nullptr};
        ::execv("/bin/bash", const_cast<char* const*>(argv));
        ::_exit(127);
    }
    if (pid > 0) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

} // namespace

int terminationStatus(int waitStatus) {
    if (WIFEXITED(waitStatus)) {
        return WEXITSTATUS(waitStatus);
    }
    if (WIFSIGNALED(waitStatus)) {
        return WTERMSIG(waitStatus);
    }
    return -1;
}

TunnelError TunnelError::exited(int status) {
    return {Kind::exited, status, "engine exited (" + std::to_string(status) + ")"};
}

TunnelError TunnelError::missingEngine() {
    return {Kind::missingEngine, 0,
            "DaridiveVarara is missing from this app. Reinstall Vedevave or rebuild with ./tools/build_engine.sh"};
}

TunnelError TunnelError::timeout() { return {Kind::timeout, 0, "tunnel status timeout"}; }

TunnelError TunnelError::launchFailed(std::string reason) {
    return {Kind::launchFailed, 0, "The control engine could not be started: " + reason};
}

std::shared_ptr<TunnelSession> TunnelSession::create(DeviceInfo device, int64_t httpPort) {
    return std::shared_ptr<TunnelSession>(new TunnelSession(std::move(device), httpPort));
}

TunnelSession::TunnelSession(DeviceInfo device, int64_t httpPort)
    : device_(std::move(device)), httpPort_(httpPort),
      controlBaseURL_("http://127.0.0.1:" + std::to_string(httpPort + 1)) {}

TunnelSession::~TunnelSession() { stop(); }

std::optional<RsdSession> TunnelSession::rsdSession() const {
    std::lock_guard guard(mutex_);
    return rsdSession_;
}

void TunnelSession::setOnProcessExit(std::function<void(int)> callback) {
    std::lock_guard guard(mutex_);
    onProcessExit_ = std::move(callback);
}

bool TunnelSession::isAlive() const { return isRunning_; }

std::optional<pid_t> TunnelSession::processIdentifier() const {
    std::lock_guard guard(mutex_);
    return pid_ > 0 ? std::optional<pid_t>(pid_) : std::nullopt;
}

std::optional<fs::path> TunnelSession::resolveEngine(const std::optional<std::string>& engineVariable,
                                                     const std::optional<fs::path>& executable,
                                                     const fs::path& workingDirectory) {
    if (engineVariable && !engineVariable->empty() && isExecutableFile(*engineVariable)) {
        return fs::path(*engineVariable);
    }
    // There is no application bundle on this platform; the build's bin/ takes its place.
    if (executable) {
        fs::path directory = executable->parent_path();
        if (isExecutableFile(directory / engineName)) {
            return directory / engineName;
        }
        for (int level = 0; level < 10 && !directory.empty(); ++level) {
            if (isExecutableFile(directory / "bin" / engineName)) {
                return directory / "bin" / engineName;
            }
            if (directory == directory.root_path()) {
                break;
            }
            directory = directory.parent_path();
        }
    }
    for (const fs::path& base : {workingDirectory, workingDirectory.parent_path()}) {
        if (isExecutableFile(base / "bin" / engineName)) {
            return base / "bin" / engineName;
        }
    }
    return std::nullopt;
}

TunnelSession::Launch TunnelSession::launchFor(const fs::path& engine, const DeviceInfo& device, int64_t enginePort,
                                               std::vector<std::string> environment) {
    Launch launch;
    const std::vector<std::string> engineArguments = {
        "--udid", device.udid, "--transport", device.connectionType == "USB" ? "usb" : "wifi",
        "--http-port", std::to_string(enginePort)};
    if (runsThroughShell(engine)) {
        launch.program = "/bin/bash";
        launch.arguments = {"/bin/bash", engine.string()};
    } else {
        launch.program = engine.string();
        launch.arguments = {engine.string()};
    }
    launch.arguments.insert(launch.arguments.end(), engineArguments.begin(), engineArguments.end());

    auto valueOf = [&](const std::string& name) -> std::optional<std::string> {
        for (const auto& entry : environment) {
            if (entry.rfind(name + "=", 0) == 0) {
                return entry.substr(name.size() + 1);
            }
        }
        return std::nullopt;
    };
    const std::vector<std::pair<std::string, std::string>> overrides = {
        {"VEDEVAVE_NATIVE", "1"},
        {"VEDEVAVE_VIDEO_TRANSPORT", "unix"},
        {"VEDEVAVE_PUSH", valueOf("VEDEVAVE_PUSH").value_or("rgba")},
        {"VEDEVAVE_RCTL", valueOf("VEDEVAVE_RCTL").value_or("1")},
    };
    for (const auto& [name, value] : overrides) {
        std::erase_if(environment, [&](const std::string& entry) { return entry.rfind(name + "=", 0) == 0; });
        environment.push_back(name + "=" + value);
    }
    launch.environment = std::move(environment);
    return launch;
}

std::string TunnelSession::freePortCommand(int64_t port, pid_t ownProcess) {
    // Whatever still listens on the engine's port (usually an earlier engine) is ended, except this
    // process itself, should its own server have been configured onto that port.
    return "lsof -tiTCP:" + std::to_string(port) + " -sTCP:LISTEN 2>/dev/null | grep -vx " +
           std::to_string(ownProcess) + " | xargs kill 2>/dev/null";
}

std::optional<std::string> TunnelSession::forwardableConsole(std::string& carry, const std::string& chunk) {
    std::string text = carry + chunk;
    carry.clear();
    size_t i = 0;
    while (i < text.size()) {
        const size_t length = sequenceLength(static_cast<unsigned char>(text[i]));
        if (length == 0) {
            return std::nullopt;
        }
        if (i + length > text.size()) {
            // An incomplete sequence at the end waits for the rest.
            for (size_t k = i + 1; k < text.size(); ++k) {
                if ((static_cast<unsigned char>(text[k]) & 0xC0) != 0x80) {
                    return std::nullopt;
                }
            }
            carry = text.substr(i);
            text.resize(i);
            break;
        }
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return std::nullopt;
            }
        }
        i += length;
    }
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

void TunnelSession::start() {
    char* self = ::realpath("/proc/self/exe", nullptr);
    std::optional<fs::path> executable;
    if (self) {
        executable = fs::path(self);
        std::free(self);
    }
    std::error_code error;
    const auto engine = resolveEngine(Platform::Environment::get("VEDEVAVE_ENGINE"), executable,
                                      fs::current_path(error));
    if (!engine) {
        throw TunnelError::missingEngine();
    }
    runShell(freePortCommand(enginePort(), ::getpid()));

    Launch launch = launchFor(*engine, device_, enginePort(), Platform::Environment::snapshot());
    auto argv = pointers(launch.arguments);
    auto envp = pointers(launch.environment);

    int logPipe[2];
    int failurePipe[2]; // carries errno from a failed exec; closes silently on success
    if (::pipe2(logPipe, O_CLOEXEC) != 0) {
        throw TunnelError::launchFailed(std::strerror(errno));
    }
    if (::pipe2(failurePipe, O_CLOEXEC) != 0) {
        ::close(logPipe[0]);
        ::close(logPipe[1]);
        throw TunnelError::launchFailed(std::strerror(errno));
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here to exec. The engine must not outlive us.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) {
            ::_exit(1);
        }
        int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, STDIN_FILENO);
        ::dup2(logPipe[1], STDOUT_FILENO);
        ::dup2(logPipe[1], STDERR_FILENO);
        ::dup2(failurePipe[1], 3);
        ::close_range(4, ~0U, 0); // no descriptor of ours leaks into the engine
        ::fcntl(3, F_SETFD, FD_CLOEXEC);
        ::signal(SIGPIPE, SIG_DFL);
        ::execve(launch.program.c_str(), argv.data(), envp.data());
        const int failure = errno;
        [[maybe_unused]] auto written = ::write(3, &failure, sizeof failure);
        ::_exit(127);
    }
    ::close(logPipe[1]);
    ::close(failurePipe[1]);
    if (pid < 0) {
        const int failure = errno;
        ::close(logPipe[0]);
        ::close(failurePipe[0]);
        throw TunnelError::launchFailed(std::strerror(failure));
    }
    int execFailure = 0;
    ssize_t got;
    do {
        got = ::read(failurePipe[0], &execFailure, sizeof execFailure);
    } while (got < 0 && errno == EINTR);
    ::close(failurePipe[0]);
    if (got == static_cast<ssize_t>(sizeof execFailure)) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        ::close(logPipe[0]);
        throw TunnelError::launchFailed(std::strerror(execFailure));
    }

    {
        std::lock_guard guard(mutex_);
        pid_ = pid;
    }
    isRunning_ = true;
    logReadFd_ = logPipe[0];
    logThread_ = std::thread([fd = logReadFd_] {
        Runtime::setCurrentThreadName("vedevave.engine-log");
        std::string carry;
        char buffer[8192];
        ssize_t n;
        // Ends when every writer of the pipe (the engine and its children) has gone.
        while ((n = ::read(fd, buffer, sizeof buffer)) != 0) {
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                break;
            }
            if (auto text = forwardableConsole(carry, std::string(buffer, static_cast<size_t>(n)))) {
                [[maybe_unused]] auto written = ::write(STDERR_FILENO, text->data(), text->size());
            }
        }
    });
    std::weak_ptr<TunnelSession> weak = weak_from_this();
    reaperThread_ = std::thread([this, weak, pid] {
        Runtime::setCurrentThreadName("vedevave.engine-wait");
        int waitStatus = 0;
        while (::waitpid(pid, &waitStatus, 0) < 0 && errno == EINTR) {
        }
        const int status = terminationStatus(waitStatus);
        {
            std::lock_guard guard(mutex_);
            exitStatus_ = status;
            if (isStopped_ || !onProcessExit_) {
                isRunning_ = false;
                return;
            }
        }
        isRunning_ = false;
        Runtime::postToMain([weak, status] {
            auto session = weak.lock();
            if (!session) {
                return;
            }
            std::function<void(int)> callback;
            {
                std::lock_guard guard(session->mutex_);
                if (session->isStopped_) {
                    return;
                }
                callback = session->onProcessExit_;
            }
            if (callback) {
                callback(status);
            }
        });
    });
    Runtime::logLine("TunnelSession engine=" + engine->filename().string() + " pid=" + std::to_string(pid) +
                     " udid=" + device_.udid);
}

asio::awaitable<void> TunnelSession::waitUntilReady(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const std::string statusURL = controlBaseURL_ + "/status";
    while (true) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            throw TunnelError::timeout();
        }
        {
            std::lock_guard guard(mutex_);
            if (pid_ > 0 && exitStatus_) {
                throw TunnelError::exited(*exitStatus_);
            }
        }
        Runtime::HttpRequest request;
        request.url = statusURL;
        request.timeout = std::min(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now),
                                   maximumStatusRequest);
        request.maxBodyBytes = 1 << 20;
        bool ready = false;
        try {
            ready = (co_await Runtime::HttpClient::shared().perform(request)).status == 200;
        } catch (const Runtime::HttpError&) {
            // not listening yet
        }
        if (ready) {
            break;
        }
        co_await Runtime::sleepFor(readinessPollInterval);
    }
    auto session = co_await CoreDeviceBridge::waitForSession(RsdSession::metaPath(), metadataWait);
    std::lock_guard guard(mutex_);
    rsdSession_ = std::move(session);
}

void TunnelSession::stop() {
    pid_t pid;
    {
        std::lock_guard guard(mutex_);
        onProcessExit_ = nullptr; // a stopped session never reports an exit
        isStopped_ = true;
        pid = pid_;
    }
    if (pid > 0 && reaperThread_.joinable()) {
        if (isRunning_) {
            ::kill(pid, SIGTERM);
            const auto deadline = std::chrono::steady_clock::now() + terminateGrace;
            while (isRunning_ && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            if (isRunning_) {
                ::kill(pid, SIGKILL);
            }
        }
        reaperThread_.join();
    }
    if (logThread_.joinable()) {
        logThread_.join();
    }
    if (logReadFd_ >= 0) {
        ::close(logReadFd_);
        logReadFd_ = -1;
    }
    std::lock_guard guard(mutex_);
    pid_ = -1;
}

} // namespace DeviceKit
