// The protocol clients of the engine tests: blocking HTTP/1.1 over TCP, Unix-socket reads that keep
// SCM_RIGHTS descriptors, and a KWVS/3 client. (EngineProcess lives in EngineProcess.cpp.)
#include "EngineTestSupport.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sstream>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace EngineTest {

namespace {

// Milliseconds left until `deadline`, at least 0.
int msLeft(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool waitReadable(int fd, std::chrono::steady_clock::time_point deadline) {
    pollfd p{fd, POLLIN, 0};
    for (;;) {
        const int r = ::poll(&p, 1, msLeft(deadline));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        return r > 0;
    }
}

bool sendAll(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Reads and discards until the peer closes (true) or the timeout passes (false).
bool waitForPeerClose(int fd, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (fd >= 0 && waitReadable(fd, deadline)) {
        char chunk[4096];
        if (::recv(fd, chunk, sizeof chunk, 0) <= 0) {
            return true;
        }
    }
    return false;
}

int connectTcp(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// Parses one response from the front of `buffer` if it is complete; removes it.
std::optional<HttpResult> takeResponse(std::string& buffer) {
    const size_t headEnd = buffer.find("\r\n\r\n");
    if (headEnd == std::string::npos) {
        return std::nullopt;
    }
    HttpResult result;
    std::istringstream head(buffer.substr(0, headEnd));
    std::string line;
    std::getline(head, line);
    if (line.size() < 12) {
        return std::nullopt;
    }
    result.status = std::atoi(line.substr(9, 3).c_str());
    while (std::getline(head, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const size_t colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        std::string name = line.substr(0, colon);
        for (auto& c : name) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        result.headers[name] = value;
    }
    const size_t length =
        result.headers.count("content-length") ? std::stoul(result.headers["content-length"]) : 0;
    if (buffer.size() < headEnd + 4 + length) {
        return std::nullopt;
    }
    result.body = buffer.substr(headEnd + 4, length);
    buffer.erase(0, headEnd + 4 + length);
    return result;
}

} // namespace

uint64_t monotonicNowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000ull + static_cast<uint64_t>(ts.tv_nsec);
}

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

nlohmann::json HttpResult::json() const {
    return nlohmann::json::parse(body, nullptr, false);
}

HttpResult httpRequest(int port, const std::string& method, const std::string& path, const std::string& body,
                       std::chrono::milliseconds timeout) {
    TcpConnection connection(port);
    if (!connection.isConnected()) {
        return {};
    }
    std::string request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
    if (!body.empty() || method == "POST") {
        request +=
            "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    }
    request += "\r\n" + body;
    if (!connection.send(request)) {
        return {};
    }
    return connection.readResponse(timeout);
}

TcpConnection::TcpConnection(int port) : fd_(connectTcp(port)) {}

TcpConnection::~TcpConnection() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool TcpConnection::send(const std::string& bytes) {
    return fd_ >= 0 && sendAll(fd_, bytes);
}

HttpResult TcpConnection::readResponse(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (auto response = takeResponse(buffer_)) {
            return *response;
        }
        if (fd_ < 0 || !waitReadable(fd_, deadline)) {
            return {};
        }
        char chunk[65536];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) {
            return {};
        }
        buffer_.append(chunk, static_cast<size_t>(n));
    }
}

bool TcpConnection::waitForClose(std::chrono::milliseconds timeout) {
    return waitForPeerClose(fd_, timeout);
}

UnixClient::UnixClient(const std::string& path) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

UnixClient::~UnixClient() {
    close();
}

void UnixClient::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (receivedFd_ >= 0) {
        ::close(receivedFd_);
        receivedFd_ = -1;
    }
}

bool UnixClient::send(const std::string& bytes) {
    return fd_ >= 0 && sendAll(fd_, bytes);
}

std::optional<std::string> UnixClient::readExact(size_t n, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (buffer_.size() < n) {
        if (fd_ < 0 || !waitReadable(fd_, deadline)) {
            return std::nullopt;
        }
        // Never more than the message still needs, like the application's reader: a kind byte
        // is one recvmsg of one byte, which is where a descriptor rides.
        char chunk[4096];
        iovec io{chunk, std::min(sizeof chunk, n - buffer_.size())};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t got = ::recvmsg(fd_, &message, MSG_CMSG_CLOEXEC);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return std::nullopt;
        }
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) {
                int fd = -1;
                std::memcpy(&fd, CMSG_DATA(c), sizeof fd);
                if (receivedFd_ >= 0) {
                    ::close(receivedFd_);
                }
                receivedFd_ = fd;
            }
        }
        buffer_.append(chunk, static_cast<size_t>(got));
    }
    std::string out = buffer_.substr(0, n);
    buffer_.erase(0, n);
    return out;
}

bool UnixClient::waitForClose(std::chrono::milliseconds timeout) {
    return waitForPeerClose(fd_, timeout);
}

int UnixClient::takeDescriptor() {
    const int fd = receivedFd_;
    receivedFd_ = -1;
    return fd;
}

// ---- KWVS/3 -------------------------------------------------------------------------------

namespace {

uint16_t u16(const std::string& b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8));
}

uint32_t u32(const std::string& b, size_t at) {
    return static_cast<uint32_t>(u16(b, at)) | (static_cast<uint32_t>(u16(b, at + 2)) << 16);
}

uint64_t u64(const std::string& b, size_t at) {
    return static_cast<uint64_t>(u32(b, at)) | (static_cast<uint64_t>(u32(b, at + 4)) << 32);
}

void putU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    }
}

void putU64(std::string& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    }
}

} // namespace

KwvsClient::~KwvsClient() {
    unmap();
}

bool KwvsClient::sendHello() {
    const std::string hello = {
        '\x01',                // kind: hello
        'K',    'W', 'V', '3', // magic
        '\x03', 0,   0,   0,   // version 3, unsigned 32-bit little-endian
    };
    return socket_.send(hello);
}

bool KwvsClient::sendAck(uint32_t seq, uint64_t displayedNs) {
    std::string ack = {'\x30'}; // kind: acknowledge
    putU32(ack, seq);           // seq, unsigned 32-bit
    putU64(ack, displayedNs);   // displayedNs, unsigned 64-bit (the notice's producedNs echoed)
    return socket_.send(ack);
}

std::optional<uint8_t> KwvsClient::readMessage(BindMessage& bind, FrameMessage& frame,
                                               std::chrono::milliseconds timeout) {
    const auto kind = socket_.readExact(1, timeout);
    if (!kind) {
        return std::nullopt;
    }
    const auto k = static_cast<uint8_t>((*kind)[0]);
    if (k == 0x11) {
        const int descriptor = socket_.takeDescriptor();
        const auto fixed = socket_.readExact(26, timeout);
        if (!fixed) {
            return std::nullopt;
        }
        bind = BindMessage{};
        bind.magic = fixed->substr(0, 4);            // offset 0: "KWV3"
        bind.offset4 = u16(*fixed, 4);               // offset 4: not read by the application
        bind.slots = u16(*fixed, 6);                 // offset 6: slots
        bind.bytesPerRow = u32(*fixed, 8);           // offset 8: bytesPerRow
        bind.slotBytes = u32(*fixed, 12);            // offset 12: slotBytes
        bind.width = u16(*fixed, 16);                // offset 16: width
        bind.height = u16(*fixed, 18);               // offset 18: height
        bind.headerBytes = u32(*fixed, 20);          // offset 20: headerBytes
        const uint16_t pathLength = u16(*fixed, 24); // offset 24: path length
        if (pathLength > 0) {
            const auto path = socket_.readExact(pathLength, timeout);
            if (!path) {
                return std::nullopt;
            }
            bind.path = *path;
        }
        bind.descriptor = descriptor;
        return k;
    }
    if (k == 0x20) {
        const auto body = socket_.readExact(14, timeout);
        if (!body) {
            return std::nullopt;
        }
        frame.seq = u32(*body, 0);        // seq, unsigned 32-bit
        frame.slot = u16(*body, 4);       // slot, unsigned 16-bit
        frame.producedNs = u64(*body, 6); // producedNs, unsigned 64-bit
        return k;
    }
    return std::nullopt;
}

bool KwvsClient::mapRing(const BindMessage& bind) {
    unmap();
    const size_t bytes = bind.headerBytes + static_cast<size_t>(bind.slotBytes) * bind.slots;
    int fd = bind.descriptor;
    bool ownFd = false;
    if (fd < 0) {
        fd = ::open(bind.path.c_str(), O_RDONLY | O_CLOEXEC);
        ownFd = true;
        if (fd < 0) {
            return false;
        }
    }
    void* base = ::mmap(nullptr, bytes, PROT_READ, MAP_SHARED, fd, 0);
    if (ownFd) {
        ::close(fd);
    }
    if (base == MAP_FAILED) {
        return false;
    }
    ring_ = static_cast<uint8_t*>(base);
    ringBytes_ = bytes;
    bind_ = bind;
    return true;
}

const uint8_t* KwvsClient::slot(int index) const {
    return ring_ + bind_.headerBytes + static_cast<size_t>(index) * bind_.slotBytes;
}

uint32_t KwvsClient::pixelBGRA(int slotIndex, int x, int y) const {
    const uint8_t* p =
        slot(slotIndex) + static_cast<size_t>(y) * bind_.bytesPerRow + static_cast<size_t>(x) * 4;
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

void KwvsClient::unmap() {
    if (ring_ != nullptr) {
        ::munmap(ring_, ringBytes_);
        ring_ = nullptr;
    }
}

} // namespace EngineTest
