// Small independent clients for the engine's protocol tests and benchmarks: a launcher that runs
// the real build/bin/DaridiveVarara on a free port with private paths (RAII: always killed and
// reaped), a blocking HTTP/1.1 client, and a Unix-socket client that can receive a descriptor.
// They share no code with the engine, so a wire-format mistake on either side shows up.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace EngineTest {

using namespace std::chrono_literals;

// Nanoseconds of CLOCK_MONOTONIC_RAW, like the application's monotonicNow().
uint64_t monotonicNowNs();

// A port on 127.0.0.1 that was free a moment ago.
int freePort();

struct HttpResult {
    int status = 0;                             // 0: no answer
    std::map<std::string, std::string> headers; // names lower-cased
    std::string body;
    nlohmann::json json() const; // the body parsed; discarded value when it is not JSON
};

// One request on a fresh connection ("Connection: close").
HttpResult httpRequest(int port, const std::string& method, const std::string& path,
                       const std::string& body = "", std::chrono::milliseconds timeout = 5s);

// A raw TCP connection for keep-alive and pipelining tests.
class TcpConnection {
public:
    explicit TcpConnection(int port);
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    bool isConnected() const { return fd_ >= 0; }
    bool send(const std::string& bytes);
    // Reads one complete response (head plus Content-Length body); status 0 on close or timeout.
    HttpResult readResponse(std::chrono::milliseconds timeout = 5s);
    // True when the peer has closed the connection (read returns 0) within the timeout.
    bool waitForClose(std::chrono::milliseconds timeout = 2s);

private:
    int fd_ = -1;
    std::string buffer_;
};

// A Unix-domain stream client that receives with recvmsg, keeping any SCM_RIGHTS descriptor.
class UnixClient {
public:
    explicit UnixClient(const std::string& path);
    ~UnixClient();
    UnixClient(const UnixClient&) = delete;
    UnixClient& operator=(const UnixClient&) = delete;

    bool isConnected() const { return fd_ >= 0; }
    bool send(const std::string& bytes);
    // Exactly n bytes (read with recvmsg calls that ask for no more than that), or absent on
    // close or timeout. A descriptor that arrives is kept in
    // takeDescriptor() (one at a time; a later one replaces and closes the earlier).
    std::optional<std::string> readExact(size_t n, std::chrono::milliseconds timeout = 3s);
    // True when the peer closes (read returns 0 or an error) within the timeout.
    bool waitForClose(std::chrono::milliseconds timeout = 2s);
    int takeDescriptor();
    void close();

private:
    int fd_ = -1;
    int receivedFd_ = -1;
    std::string buffer_;
};

// The bind message as the application reads it.
struct BindMessage {
    std::string magic;
    uint16_t offset4 = 0;
    uint16_t slots = 0;
    uint32_t bytesPerRow = 0;
    uint32_t slotBytes = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint32_t headerBytes = 0;
    std::string path;
    int descriptor = -1; // owned by the caller
};

struct FrameMessage {
    uint32_t seq = 0;
    uint16_t slot = 0;
    uint64_t producedNs = 0;
};

// A minimal KWVS/3 client over UnixClient: the bytes it sends are spelled out in its .cpp.
class KwvsClient {
public:
    explicit KwvsClient(const std::string& path) : socket_(path) {}
    ~KwvsClient();

    UnixClient& socket() { return socket_; }
    bool sendHello();
    bool sendAck(uint32_t seq, uint64_t displayedNs);
    // Reads the next message: kind 0x11 fills bind, kind 0x20 fills frame. Returns the kind byte,
    // or absent on close/timeout/unknown kind.
    std::optional<uint8_t> readMessage(BindMessage& bind, FrameMessage& frame,
                                       std::chrono::milliseconds timeout = 3s);
    // Maps a bind's ring read-only (through the descriptor, else the path). Returns false on failure.
    bool mapRing(const BindMessage& bind);
    const uint8_t* slot(int index) const;
    // Pixel (B, G, R, A) at x, y of a slot.
    uint32_t pixelBGRA(int slotIndex, int x, int y) const;
    void unmap();

private:
    UnixClient socket_;
    uint8_t* ring_ = nullptr;
    size_t ringBytes_ = 0;
    BindMessage bind_;
};

struct EngineLaunch {
    std::map<std::string, std::string> environment; // added to (or replacing) this process's
    std::string size = "390x844";                   // VEDEVAVE_SIM_SIZE; small keeps tests quick
    std::vector<std::string> arguments;             // replaces the default arguments when set
    bool waitUntilReady = true;
    std::string udid = "SIM-TEST";
    int port = 0; // 0: a free port
};

// The real engine executable, started on a free port with a private temporary folder for its
// metadata file, sockets and capture device. Stopped (TERM, then KILL) and reaped on destruction.
class EngineProcess {
public:
    explicit EngineProcess(EngineLaunch launch = {});
    ~EngineProcess();
    EngineProcess(const EngineProcess&) = delete;
    EngineProcess& operator=(const EngineProcess&) = delete;

    static std::string executablePath();

    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    const std::string& folder() const { return folder_; }
    std::string rsdPath() const { return folder_ + "/rsd.json"; }
    std::string captureDir() const { return folder_ + "/cap"; }
    std::string socketDir() const { return folder_; }
    std::string hidSocketPath() const;
    std::string videoSocketPath() const;
    std::string captureSocketPath() const;
    std::string udid() const { return udid_; }

    // Polls GET /status until it answers `status` (true) or the timeout passes.
    bool waitForStatus(int status = 200, std::chrono::milliseconds timeout = 10s);
    // Waits for the process to end; its exit status (or 128 + signal), absent on timeout.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout = 5s);
    // Sends SIGTERM and waits for the exit.
    std::optional<int> terminate(std::chrono::milliseconds timeout = 5s);
    bool isRunning();

    HttpResult get(const std::string& path) const { return httpRequest(port_, "GET", path); }
    HttpResult post(const std::string& path, const std::string& body) const {
        return httpRequest(port_, "POST", path, body);
    }
    nlohmann::json debugState(const std::string& query = "") const;
    // Polls /debug/state until `predicate` holds; returns the last state seen.
    template <typename Predicate>
    nlohmann::json waitForState(Predicate predicate, std::chrono::milliseconds timeout = 3s,
                                const std::string& query = "") const {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        nlohmann::json state;
        do {
            state = debugState(query);
            if (state.is_object() && predicate(state)) {
                return state;
            }
            usleep(10'000);
        } while (std::chrono::steady_clock::now() < deadline);
        return state;
    }
    std::string log() const;

private:
    std::string folder_;
    std::string udid_;
    int port_ = 0;
    pid_t pid_ = -1;
    std::optional<int> exitStatus_;
};

// Touch-space coordinates (0..65535) of a point given as fractions of the screen.
inline uint16_t touchCoordinate(double fraction) {
    return static_cast<uint16_t>(fraction * 65535.0);
}

} // namespace EngineTest
