// Helpers for the server tests: a server on a free loopback port whose handlers run on a private
// executor thread (standing in for the main executor), and a raw socket client that sends exact
// bytes and reads answers one by one.
#pragma once

#include "VedevaveApp/LocalAPI/LocalAPIServer.h"

#include <arpa/inet.h>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <chrono>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace LocalAPITest {

// An io_context on its own thread: the handlers' executor in tests.
class HandlerThread {
public:
    HandlerThread() : guard_(asio::make_work_guard(context_)), thread_([this] { context_.run(); }) {}
    ~HandlerThread() {
        guard_.reset();
        context_.stop();
        thread_.join();
    }
    asio::any_io_executor executor() { return context_.get_executor(); }

private:
    asio::io_context context_;
    asio::executor_work_guard<asio::io_context::executor_type> guard_;
    std::thread thread_;
};

struct Answer {
    int status = 0;
    std::string head;                           // status line and header lines
    std::map<std::string, std::string> headers; // lower-case names
    std::string body;

    bool hasHeader(const std::string& name) const { return headers.count(name) > 0; }
    std::string header(const std::string& name) const {
        auto it = headers.find(name);
        return it == headers.end() ? "" : it->second;
    }
};

// A blocking TCP client with a receive timeout, optionally bound to a given local address first.
class RawClient {
public:
    explicit RawClient(uint16_t port, const std::string& fromAddress = "",
                       const std::string& toAddress = "127.0.0.1") {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval timeout{5, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        int yes = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        if (!fromAddress.empty()) {
            sockaddr_in local{};
            local.sin_family = AF_INET;
            ::inet_pton(AF_INET, fromAddress.c_str(), &local.sin_addr);
            ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        ::inet_pton(AF_INET, toAddress.c_str(), &address.sin_addr);
        isConnected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() { ::close(fd_); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool isConnected() const { return isConnected_; }

    bool send(const std::string& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    void shutdownWrite() { ::shutdown(fd_, SHUT_WR); }

    // The next answer, framed by its Content-Length (bodies of answers to HEAD: pass isHead).
    std::optional<Answer> read(bool isHead = false) {
        size_t headEnd;
        while ((headEnd = buffer_.find("\r\n\r\n")) == std::string::npos) {
            if (!fill()) {
                return std::nullopt;
            }
        }
        Answer answer;
        answer.head = buffer_.substr(0, headEnd);
        answer.status = std::atoi(answer.head.substr(9, 3).c_str());
        size_t position = answer.head.find("\r\n");
        while (position != std::string::npos && position < answer.head.size()) {
            const size_t start = position + 2;
            const size_t end = answer.head.find("\r\n", start);
            const std::string line =
                answer.head.substr(start, end == std::string::npos ? std::string::npos : end - start);
            const size_t colon = line.find(':');
            if (colon != std::string::npos) {
                std::string name = line.substr(0, colon);
                for (auto& c : name) {
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                }
                answer.headers[name] = line.substr(colon + 2);
            }
            position = end;
        }
        const size_t length =
            isHead
                ? 0
                : std::stoul(answer.header("content-length").empty() ? "0" : answer.header("content-length"));
        while (buffer_.size() < headEnd + 4 + length) {
            if (!fill()) {
                return std::nullopt;
            }
        }
        answer.body = buffer_.substr(headEnd + 4, length);
        buffer_.erase(0, headEnd + 4 + length);
        return answer;
    }

    // True when the server closes the connection within `timeout` (buffered bytes are dropped).
    bool waitForClose(std::chrono::milliseconds timeout) {
        pollfd descriptor{fd_, POLLIN, 0};
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (::poll(&descriptor, 1, 50) > 0) {
                char chunk[4096];
                const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
                if (n <= 0) {
                    return true;
                }
                buffer_.append(chunk, static_cast<size_t>(n));
            }
        }
        return false;
    }

    // Nothing arrives within `timeout`.
    bool staysSilent(std::chrono::milliseconds timeout) {
        if (!buffer_.empty()) {
            return false;
        }
        pollfd descriptor{fd_, POLLIN, 0};
        return ::poll(&descriptor, 1, static_cast<int>(timeout.count())) == 0;
    }

    const std::string& buffered() const { return buffer_; }

private:
    bool fill() {
        char chunk[65536];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) {
            return false;
        }
        buffer_.append(chunk, static_cast<size_t>(n));
        return true;
    }

    int fd_ = -1;
    bool isConnected_ = false;
    std::string buffer_;
};

inline std::string get(const std::string& path, const std::string& extraHeaders = "") {
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders + "\r\n";
}

inline std::string post(const std::string& path, const std::string& body,
                        const std::string& extraHeaders = "") {
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n" + extraHeaders + "\r\n" + body;
}

} // namespace LocalAPITest
