// Who may use the local API. The server answers only this machine unless remote access was asked
// for; remote clients then need the API token, and browsers may reach it only from its own pages:
// a foreign Origin (cross-site requests) or a Host that is not this server (DNS rebinding) is
// refused, WebSocket upgrades included. Pure decisions over a request; any thread.
#pragma once

#include "VedevaveApp/LocalAPI/LocalAPIRequest.h"

#include <asio/ip/address.hpp>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace VedevaveApp {

struct LocalAPIAccessPolicy {
    struct Refusal {
        int status;
        std::string error;
    };

    static constexpr const char* loopbackOnlyText = "loopback only";
    static constexpr const char* unauthorizedText = "unauthorized";
    static constexpr const char* forbiddenOriginText = "forbidden origin";

    // Listening on every interface; otherwise only loopback peers are served.
    bool allowRemote = false;
    // What remote peers must send as "Authorization: Bearer <token>". Empty admits no remote peer.
    std::string token;
    // Whether a peer address counts as this machine. Replaceable so tests can play a remote client
    // from a loopback address.
    std::function<bool(const asio::ip::address&)> isLocalPeer = &LocalAPIAccessPolicy::isLoopback;

    // Nothing when the request may go on; else the answer that refuses it. `serverAddress` and
    // `serverPort` are the connection's local endpoint: the names under which this server is
    // its own site.
    std::optional<Refusal> check(const LocalAPIRequest& request, const asio::ip::address& serverAddress,
                                 uint16_t serverPort) const;

    // The value of Access-Control-Allow-Origin for an admitted request: its Origin when it sent
    // one, else the server's own loopback origin. Never "*".
    static std::string allowedOrigin(const LocalAPIRequest& request, uint16_t serverPort);

    // 127.0.0.0/8, ::1 and IPv4-mapped 127.x addresses.
    static bool isLoopback(const asio::ip::address& address);
    // "localhost" or a loopback address literal (IPv6 in brackets or not).
    static bool isLoopbackHost(std::string_view host);
    // "host:port", "[v6]:port" or "host" → host (brackets removed) and port when given. Nothing for
    // text that is not of that form.
    struct HostPort {
        std::string host;
        std::optional<uint16_t> port;
    };
    static std::optional<HostPort> splitHostPort(std::string_view text);
    // Whether the request carries "Authorization: Bearer <token>" (compared in constant time).
    static bool hasBearerToken(const LocalAPIRequest& request, std::string_view token);

private:
    static bool namesThisServer(std::string_view host, const asio::ip::address& serverAddress);
    static bool isOwnOrigin(std::string_view origin, const asio::ip::address& serverAddress,
                            uint16_t serverPort);
};

} // namespace VedevaveApp
