// A blocking HTTP/1.1 client for tests: one request per connection, the answer read up to its
// Content-Length (or to the end of the stream). Returns the body (status in `*status` when given);
// empty on failure or after `timeoutSeconds` without progress.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace TestSupport {

inline std::string httpRequest(int port, const std::string& method, const std::string& path,
                               const std::string& body = "", int* status = nullptr, int timeoutSeconds = 60) {
    if (status) {
        *status = 0;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval timeout{timeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return "";
    }
    std::string request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
    if (!body.empty() || method == "POST") {
        request += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    }
    request += "\r\n" + body;
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string answer;
    char buffer[8192];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
        answer.append(buffer, static_cast<size_t>(n));
        // Servers may keep the connection open: stop once the announced body is complete.
        const auto end = answer.find("\r\n\r\n");
        if (end == std::string::npos) {
            continue;
        }
        std::string head = answer.substr(0, end);
        for (auto& c : head) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        const auto lengthAt = head.find("content-length:");
        if (lengthAt != std::string::npos &&
            answer.size() >= end + 4 + std::stoul(head.substr(lengthAt + 15))) {
            break;
        }
    }
    ::close(fd);
    const auto headEnd = answer.find("\r\n\r\n");
    if (headEnd == std::string::npos) {
        return "";
    }
    if (status && answer.size() > 12) {
        *status = std::atoi(answer.substr(9, 3).c_str());
    }
    std::string content = answer.substr(headEnd + 4);
    if (answer.substr(0, headEnd).find("chunked") != std::string::npos) {
        std::string joined;
        size_t position = 0;
        while (position < content.size()) {
            const size_t lineEnd = content.find("\r\n", position);
            if (lineEnd == std::string::npos) {
                break;
            }
            const size_t size = std::stoul(content.substr(position, lineEnd - position), nullptr, 16);
            if (size == 0) {
                break;
            }
            joined += content.substr(lineEnd + 2, size);
            position = lineEnd + 2 + size + 2;
        }
        return joined;
    }
    return content;
}

inline std::string httpGet(int port, const std::string& path) { return httpRequest(port, "GET", path); }
inline std::string httpPost(int port, const std::string& path, const std::string& body) {
    return httpRequest(port, "POST", path, body);
}

} // namespace TestSupport
