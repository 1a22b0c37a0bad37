// Starts a program for a test with extra environment, collects its standard output and error, and
// always ends and reaps it (SIGKILL if it is still running when the object goes away).
#pragma once

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace TestSupport {

class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::vector<std::string>& extraEnvironment = {}) {
        int pipeFds[2];
        ::pipe2(pipeFds, O_CLOEXEC);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        std::vector<std::string> args{program};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            env.emplace_back(*e);
        }
        env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
        std::vector<char*> envp;
        for (auto& e : env) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        readFd_ = pipeFds[0];
        reader_ = std::thread([this] {
            char buffer[4096];
            ssize_t n;
            while ((n = ::read(readFd_, buffer, sizeof buffer)) > 0) {
                std::lock_guard lock(mutex_);
                output_.append(buffer, static_cast<size_t>(n));
            }
        });
    }

    ~ChildProcess() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            waitForExit(std::chrono::seconds(10));
        }
        reader_.join();
        ::close(readFd_);
    }

    bool isStarted() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    void signal(int number) { ::kill(pid_, number); }

    std::string output() {
        std::lock_guard lock(mutex_);
        return output_;
    }

    // Waits until the output contains `text`; false on timeout.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (output().find(text) != std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // The exit status (or 128 + signal), or -1 on timeout.
    int waitForExit(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (true) {
            int status = 0;
            pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

private:
    pid_t pid_ = -1;
    int readFd_ = -1;
    bool exited_ = false;
    std::thread reader_;
    std::mutex mutex_;
    std::string output_; // guarded by mutex_
};

// build/bin, as CTest passes it to every test.
inline std::string binDirectory() {
    const char* value = std::getenv("VEDEVAVE_BIN_DIR");
    return value ? value : "build/bin";
}

} // namespace TestSupport
