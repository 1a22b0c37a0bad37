// The HID socket (engine side): a Unix-domain stream server that decodes the
// application's touch, button, key, instant, music-safe and keyboard-reset messages with HidParser
// and hands each to the InputDispatcher in arrival order. It never writes back. A connection that
// sends an unknown type byte is dropped. Io thread only.
#pragma once

#include "Engine/DebugState.h"
#include "Engine/InputDispatcher.h"
#include "Engine/UnixListener.h"

#include <asio.hpp>
#include <memory>
#include <set>
#include <string>

namespace Engine {

class HidServer {
public:
    // Binds the socket at `path`; throws like UnixListener.
    HidServer(asio::io_context& io, const std::string& path, InputDispatcher& dispatcher, DebugState& debug);

    void start();
    // Stops accepting, closes every connection and removes the socket file.
    void stop();
    const std::string& path() const { return listener_.path(); }

private:
    using Socket = UnixListener::Socket;
    asio::awaitable<void> serve(std::shared_ptr<Socket> socket);

    asio::io_context& io_;
    UnixListener listener_;
    InputDispatcher& dispatcher_;
    DebugState& debug_;
    std::set<std::shared_ptr<Socket>> connections_;
};

} // namespace Engine
