#include "Engine/HidServer.h"

#include "Engine/HidParser.h"

#include <array>
#include <cstdio>

namespace Engine {

HidServer::HidServer(asio::io_context& io, const std::string& path, InputDispatcher& dispatcher,
                     DebugState& debug)
    : io_(io), listener_(io, path), dispatcher_(dispatcher), debug_(debug) {}

void HidServer::start() {
    listener_.startAccepting([this](Socket socket) {
        auto shared = std::make_shared<Socket>(std::move(socket));
        connections_.insert(shared);
        debug_.recordHidConnection();
        asio::co_spawn(io_, serve(shared), asio::detached);
    });
}

void HidServer::stop() {
    listener_.close();
    for (const auto& socket : connections_) {
        asio::error_code ignored;
        socket->close(ignored);
    }
    connections_.clear();
}

asio::awaitable<void> HidServer::serve(std::shared_ptr<Socket> socket) {
    HidParser parser;
    std::array<uint8_t, 64 * 1024> buffer{};
    std::vector<HidMessage> messages;
    for (;;) {
        asio::error_code ec;
        const size_t n = co_await socket->async_read_some(asio::buffer(buffer),
                                                          asio::redirect_error(asio::use_awaitable, ec));
        if (ec) {
            break; // the application closed its end, or stop()
        }
        messages.clear();
        const bool ok = parser.feed(std::span<const uint8_t>(buffer.data(), n), messages);
        for (const auto& message : messages) {
            dispatcher_.apply(message, InputSource::hid);
        }
        if (!ok) {
            std::fprintf(stderr, "DaridiveVarara: HID connection dropped: unknown message type 0x%02x\n",
                         parser.failedType());
            debug_.recordHidProtocolError();
            break;
        }
    }
    asio::error_code ignored;
    socket->close(ignored);
    connections_.erase(socket);
}

} // namespace Engine
