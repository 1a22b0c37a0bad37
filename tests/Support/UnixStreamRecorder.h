// A Unix-domain stream listener for tests that records every byte it receives with its arrival
// time, accepting new connections as they come (so reconnects are seen). Stopping removes the socket.
#pragma once

#include "Runtime/UnixSocket.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace TestSupport {

class UnixStreamRecorder {
public:
    struct Chunk {
        std::string bytes;
        std::chrono::steady_clock::time_point at;
    };

    explicit UnixStreamRecorder(std::string path) : path_(std::move(path)) { start(); }
    ~UnixStreamRecorder() { stop(); }

    void start() {
        ::unlink(path_.c_str());
        listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        auto address = Runtime::unixAddress(path_);
        ::bind(listen_, reinterpret_cast<const sockaddr*>(&*address), sizeof *address);
        ::listen(listen_, 8);
        stopping_ = false;
        acceptor_ = std::thread([this] {
            while (!stopping_) {
                int fd = ::accept(listen_, nullptr, nullptr);
                if (fd < 0) {
                    return;
                }
                std::lock_guard lock(mutex_);
                connections_.push_back(fd);
                ++acceptedCount_;
                readers_.emplace_back([this, fd] {
                    char buffer[4096];
                    ssize_t n;
                    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
                        std::lock_guard lock(mutex_);
                        chunks_.push_back({std::string(buffer, static_cast<size_t>(n)), std::chrono::steady_clock::now()});
                        bytes_.append(buffer, static_cast<size_t>(n));
                    }
                });
            }
        });
    }

    // Closes the listener and every connection, as an engine that went away.
    void stop() {
        if (listen_ < 0) {
            return;
        }
        stopping_ = true;
        ::shutdown(listen_, SHUT_RDWR);
        ::close(listen_);
        listen_ = -1;
        acceptor_.join();
        std::vector<std::thread> readers;
        {
            std::lock_guard lock(mutex_);
            for (int fd : connections_) {
                ::shutdown(fd, SHUT_RDWR);
            }
            readers.swap(readers_);
        }
        for (auto& reader : readers) {
            reader.join();
        }
        std::lock_guard lock(mutex_);
        for (int fd : connections_) {
            ::close(fd);
        }
        connections_.clear();
        ::unlink(path_.c_str());
    }

    std::string bytes() {
        std::lock_guard lock(mutex_);
        return bytes_;
    }
    std::vector<Chunk> chunks() {
        std::lock_guard lock(mutex_);
        return chunks_;
    }
    int acceptedCount() {
        std::lock_guard lock(mutex_);
        return acceptedCount_;
    }
    bool waitForBytes(size_t count, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (bytes().size() >= count) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return bytes().size() >= count;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    int listen_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<std::thread> readers_; // guarded by mutex_
    std::vector<int> connections_;     // guarded by mutex_
    std::vector<Chunk> chunks_;        // guarded by mutex_
    std::string bytes_;                // guarded by mutex_
    int acceptedCount_ = 0;            // guarded by mutex_
};

// A socket path unique to this test process and name.
inline std::string uniqueSocketPath(const std::string& name) {
    return "/tmp/vdv-" + std::to_string(::getpid()) + "-" + name + ".sock";
}

} // namespace TestSupport
