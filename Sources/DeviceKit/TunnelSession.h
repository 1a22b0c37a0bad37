// One running control engine for one phone: finds the executable, frees the engine's port, launches
// it with the phone's UDID and transport, forwards its console output to standard error, reports
// its exit on the main executor, waits until its HTTP control answers and reads its metadata file.
// Created per boot and never restarted. `start` blocks (run it off the main executor); `stop` may
// be called from any thread and blocks until the engine has exited.
#pragma once

#include "DeviceKit/DeviceInfo.h"
#include "DeviceKit/RsdSession.h"

#include <asio/awaitable.hpp>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace DeviceKit {

class TunnelError : public std::exception {
public:
    enum class Kind { exited, missingEngine, timeout, launchFailed };

    static TunnelError exited(int status);
    static TunnelError missingEngine();
    static TunnelError timeout();
    static TunnelError launchFailed(std::string reason);

    Kind kind() const { return kind_; }
    int status() const { return status_; }
    const std::string& description() const { return text_; }
    const char* what() const noexcept override { return text_.c_str(); }

private:
    TunnelError(Kind kind, int status, std::string text) : kind_(kind), status_(status), text_(std::move(text)) {}
    Kind kind_;
    int status_;
    std::string text_;
};

class TunnelSession : public std::enable_shared_from_this<TunnelSession> {
public:
    static constexpr const char* engineName = "DaridiveVarara";
    static constexpr std::chrono::milliseconds readinessPollInterval{250};
    static constexpr std::chrono::milliseconds metadataWait{5000};

    static std::shared_ptr<TunnelSession> create(DeviceInfo device, int64_t httpPort);
    ~TunnelSession(); // stops

    const DeviceInfo& device() const { return device_; }
    int64_t httpPort() const { return httpPort_; }
    int64_t enginePort() const { return httpPort_ + 1; }
    const std::string& controlBaseURL() const { return controlBaseURL_; }
    // Known once `waitUntilReady` has succeeded (absent when the engine published no metadata).
    std::optional<RsdSession> rsdSession() const;

    // Called on the main executor with the engine's status when it ends by itself; never after
    // `stop`. Set it before `start`.
    void setOnProcessExit(std::function<void(int)> callback);

    // Throws TunnelError (missingEngine, launchFailed).
    void start();
    // Throws TunnelError (exited, timeout) or Runtime::CancellationError.
    asio::awaitable<void> waitUntilReady(std::chrono::milliseconds timeout);
    void stop();
    bool isAlive() const;
    std::optional<pid_t> processIdentifier() const;

    // The launch decisions, pure for tests.
    struct Launch {
        std::string program;                // what is executed
        std::vector<std::string> arguments; // argv, starting with the program
        std::vector<std::string> environment;
    };
    static std::optional<std::filesystem::path> resolveEngine(const std::optional<std::string>& engineVariable,
                                                             const std::optional<std::filesystem::path>& executable,
                                                             const std::filesystem::path& workingDirectory);
    static Launch launchFor(const std::filesystem::path& engine, const DeviceInfo& device, int64_t enginePort,
                            std::vector<std::string> environment);
    static std::string freePortCommand(int64_t port, pid_t ownProcess);
    // The bytes of a console chunk that may be written now: whole valid UTF-8, keeping an incomplete
    // trailing sequence in `carry` for the next chunk. Nothing when the chunk is not UTF-8.
    static std::optional<std::string> forwardableConsole(std::string& carry, const std::string& chunk);

private:
    TunnelSession(DeviceInfo device, int64_t httpPort);
    void reap();

    const DeviceInfo device_;
    const int64_t httpPort_;
    const std::string controlBaseURL_;

    mutable std::mutex mutex_;
    std::optional<RsdSession> rsdSession_;      // guarded by mutex_
    std::function<void(int)> onProcessExit_;    // guarded by mutex_
    pid_t pid_ = -1;                            // guarded by mutex_
    std::optional<int> exitStatus_;             // guarded by mutex_
    bool isStopped_ = false;                    // guarded by mutex_
    std::atomic<bool> isRunning_{false};
    int logReadFd_ = -1;
    std::thread logThread_;
    std::thread reaperThread_;
};

// The exit status of a child as reported to the user: its exit code, or the signal that ended it.
int terminationStatus(int waitStatus);

} // namespace DeviceKit
