// A small blocking HTTP/1.1 server on 127.0.0.1 for tests: one thread per connection, routes given
// as functions that write the raw answer. Stopping closes every connection, including stalled ones.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace TestSupport {

struct TestHttpRequest {
    std::string method;
    std::string path;
    std::map<std::string, std::string> headers; // lower-case names
    std::string body;
};

class TestHttpServer {
public:
    // Writes the whole answer through `send`; returning lets the server close the connection.
    using Handler = std::function<void(const TestHttpRequest&, const std::function<bool(const std::string&)>& send)>;

    TestHttpServer() {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int yes = 1;
        ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listenFd_, 64);
        socklen_t length = sizeof address;
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] { acceptLoop(); });
    }

    ~TestHttpServer() {
        stopping_ = true;
        ::shutdown(listenFd_, SHUT_RDWR);
        ::close(listenFd_);
        acceptor_.join();
        {
            std::lock_guard lock(mutex_);
            for (int fd : connections_) {
                ::shutdown(fd, SHUT_RDWR);
            }
        }
        for (auto& worker : workers_) {
            worker.join();
        }
    }

    void route(const std::string& path, Handler handler) {
        std::lock_guard lock(mutex_);
        routes_[path] = std::move(handler);
    }

    // A fixed answer with a Content-Length.
    void respond(const std::string& path, int status, const std::string& body,
                 const std::string& extraHeaders = "") {
        route(path, [=](const TestHttpRequest&, const auto& send) {
            send("HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Length: " + std::to_string(body.size()) +
                 "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body);
        });
    }

    bool isStopping() const { return stopping_; }
    int port() const { return port_; }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    int requestCount() const { return requests_; }
    std::vector<TestHttpRequest> received() {
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    void acceptLoop() {
        while (!stopping_) {
            int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                if (stopping_) {
                    return;
                }
                continue;
            }
            std::lock_guard lock(mutex_);
            connections_.push_back(fd);
            workers_.emplace_back([this, fd] { serve(fd); });
        }
    }

    void serve(int fd) {
        std::string buffer;
        char chunk[4096];
        size_t headerEnd;
        while ((headerEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
            ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) {
                ::close(fd);
                return;
            }
            buffer.append(chunk, static_cast<size_t>(n));
        }
        TestHttpRequest request;
        std::string head = buffer.substr(0, headerEnd);
        size_t lineEnd = head.find("\r\n");
        std::string requestLine = head.substr(0, lineEnd);
        size_t space1 = requestLine.find(' ');
        size_t space2 = requestLine.find(' ', space1 + 1);
        request.method = requestLine.substr(0, space1);
        request.path = requestLine.substr(space1 + 1, space2 - space1 - 1);
        size_t position = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
        while (position < head.size()) {
            size_t end = head.find("\r\n", position);
            if (end == std::string::npos) {
                end = head.size();
            }
            std::string line = head.substr(position, end - position);
            size_t colon = line.find(':');
            if (colon != std::string::npos) {
                std::string name = line.substr(0, colon);
                for (auto& c : name) {
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                }
                size_t valueStart = line.find_first_not_of(' ', colon + 1);
                request.headers[name] = valueStart == std::string::npos ? "" : line.substr(valueStart);
            }
            position = end + 2;
        }
        size_t contentLength = request.headers.count("content-length")
                                   ? std::stoul(request.headers["content-length"])
                                   : 0;
        request.body = buffer.substr(headerEnd + 4);
        while (request.body.size() < contentLength) {
            ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) {
                break;
            }
            request.body.append(chunk, static_cast<size_t>(n));
        }
        Handler handler;
        {
            std::lock_guard lock(mutex_);
            ++requests_;
            received_.push_back(request);
            std::string path = request.path.substr(0, request.path.find('?'));
            if (routes_.count(path)) {
                handler = routes_[path];
            }
        }
        auto send = [fd](const std::string& bytes) {
            return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
        };
        if (handler) {
            handler(request, send);
        } else {
            send("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nnot found");
        }
        ::shutdown(fd, SHUT_WR);
        while (::recv(fd, chunk, sizeof chunk, 0) > 0) {
        }
        std::lock_guard lock(mutex_);
        ::close(fd);
        std::erase(connections_, fd);
    }

    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> requests_{0};
    std::thread acceptor_;
    std::mutex mutex_;
    std::map<std::string, Handler> routes_;          // guarded by mutex_
    std::vector<int> connections_;                   // guarded by mutex_
    std::vector<std::thread> workers_;               // guarded by mutex_
    std::vector<TestHttpRequest> received_;          // guarded by mutex_
};

} // namespace TestSupport
