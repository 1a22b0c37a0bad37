#include "VedevaveApp/LocalAPI/LocalAPIAccessPolicy.h"

#include <charconv>
#include <openssl/crypto.h>

namespace VedevaveApp {

using namespace LocalAPIRequestText;

bool LocalAPIAccessPolicy::isLoopback(const asio::ip::address& address) {
    if (address.is_v4()) {
        return (address.to_v4().to_uint() >> 24) == 127;
    }
    const auto v6 = address.to_v6();
    if (v6.is_v4_mapped()) {
        return (asio::ip::make_address_v4(asio::ip::v4_mapped, v6).to_uint() >> 24) == 127;
    }
    return v6.is_loopback();
}

bool LocalAPIAccessPolicy::isLoopbackHost(std::string_view host) {
    if (lowercased(host) == "localhost") {
        return true;
    }
    asio::error_code error;
    const auto address = asio::ip::make_address(std::string(host), error);
    return !error && isLoopback(address);
}

std::optional<LocalAPIAccessPolicy::HostPort> LocalAPIAccessPolicy::splitHostPort(std::string_view text) {
    HostPort result;
    std::string_view rest;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        result.host = std::string(text.substr(1, close - 1));
        rest = text.substr(close + 1);
    } else {
        const size_t colon = text.find(':');
        result.host = std::string(text.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view() : text.substr(colon);
    }
    if (result.host.empty()) {
        return std::nullopt;
    }
    if (!rest.empty()) {
        if (rest.front() != ':' || rest.size() < 2) {
            return std::nullopt;
        }
        uint16_t port = 0;
        const auto digits = rest.substr(1);
        auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
        if (error != std::errc() || end != digits.data() + digits.size()) {
            return std::nullopt;
        }
        result.port = port;
    }
    return result;
}

bool LocalAPIAccessPolicy::hasBearerToken(const LocalAPIRequest& request, std::string_view token) {
    const auto value = request.header("authorization");
    if (!value || token.empty()) {
        return false;
    }
    const std::string_view text = *value;
    const size_t space = text.find(' ');
    if (space == std::string_view::npos || lowercased(text.substr(0, space)) != "bearer") {
        return false;
    }
    const std::string_view given = trimmed(text.substr(space + 1));
    return given.size() == token.size() && CRYPTO_memcmp(given.data(), token.data(), token.size()) == 0;
}

bool LocalAPIAccessPolicy::namesThisServer(std::string_view host, const asio::ip::address& serverAddress) {
    if (isLoopbackHost(host)) {
        return true;
    }
    // An address literal of the interface the client reached; a DNS name never counts, because a
    // rebound name is exactly what a hostile page would use.
    asio::error_code error;
    const auto address = asio::ip::make_address(std::string(host), error);
    return !error && address == serverAddress;
}

bool LocalAPIAccessPolicy::isOwnOrigin(std::string_view origin, const asio::ip::address& serverAddress,
                                       uint16_t serverPort) {
    constexpr std::string_view scheme = "http://";
    if (origin.substr(0, scheme.size()) != scheme) {
        return false;
    }
    const auto hostPort = splitHostPort(origin.substr(scheme.size()));
    return hostPort && hostPort->port.value_or(80) == serverPort &&
           namesThisServer(hostPort->host, serverAddress);
}

std::optional<LocalAPIAccessPolicy::Refusal>
LocalAPIAccessPolicy::check(const LocalAPIRequest& request, const asio::ip::address& serverAddress,
                            uint16_t serverPort) const {
    if (request.isFromRemotePeer && !allowRemote) {
        return Refusal{403, loopbackOnlyText};
    }
    const bool isAuthenticatedRemote = request.isFromRemotePeer && hasBearerToken(request, token);
    if (request.isFromRemotePeer && !isAuthenticatedRemote) {
        return Refusal{401, unauthorizedText};
    }
    // A client holding the token is not a rebinding browser; everyone else must name this server.
    if (!isAuthenticatedRemote) {
        if (const auto host = request.header("host")) {
            const auto hostPort = splitHostPort(*host);
            if (!hostPort || !namesThisServer(hostPort->host, serverAddress)) {
                return Refusal{403, forbiddenOriginText};
            }
        }
    }
    if (const auto origin = request.header("origin")) {
        if (!isOwnOrigin(*origin, serverAddress, serverPort)) {
            return Refusal{403, forbiddenOriginText};
        }
    }
    return std::nullopt;
}

std::string LocalAPIAccessPolicy::allowedOrigin(const LocalAPIRequest& request, uint16_t serverPort) {
    if (auto origin = request.header("origin")) {
        return *origin;
    }
    return "http://127.0.0.1:" + std::to_string(serverPort);
}

} // namespace VedevaveApp
