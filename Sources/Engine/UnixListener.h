// A listening Unix-domain stream socket at a file path: replaces a stale socket file left by an
// earlier engine on the same path, and removes its file again when closed. Io thread only.
#pragma once

#include <asio.hpp>
#include <string>

namespace Engine {

class UnixListener {
public:
    using Socket = asio::local::stream_protocol::socket;

    // The application refuses paths of 104 bytes or more; so does the engine.
    static constexpr size_t maxPathBytes = 103;

    // Binds and listens; throws std::system_error (or std::invalid_argument for a long path).
    UnixListener(asio::io_context& io, std::string path);
    ~UnixListener();
    UnixListener(const UnixListener&) = delete;
    UnixListener& operator=(const UnixListener&) = delete;

    // Accepts clients until close(), handing each connected socket to `onClient`. A failed accept
    // (say, out of descriptors) is skipped; the listener keeps serving.
    void startAccepting(std::function<void(Socket)> onClient);
    const std::string& path() const { return path_; }
    // Stops accepting and removes the socket file. Safe to call repeatedly.
    void close();

private:
    asio::awaitable<void> acceptLoop(std::function<void(Socket)> onClient);

    std::string path_;
    asio::local::stream_protocol::acceptor acceptor_;
    bool open_ = false;
};

} // namespace Engine
