#include "Engine/HttpMessage.h"

#include <cctype>

namespace Engine {

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

const std::string* HttpRequest::header(std::string_view name) const {
    for (const auto& h : headers) {
        if (equalsIgnoreCase(h.name, name)) {
            return &h.value;
        }
    }
    return nullptr;
}

std::string HttpRequest::queryValue(std::string_view key) const {
    std::string_view rest = query;
    while (!rest.empty()) {
        const size_t amp = rest.find('&');
        std::string_view pair = rest.substr(0, amp);
        const size_t eq = pair.find('=');
        if (pair.substr(0, eq) == key) {
            return eq == std::string_view::npos ? std::string() : std::string(pair.substr(eq + 1));
        }
        if (amp == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(amp + 1);
    }
    return {};
}

std::string_view reasonPhrase(int status) {
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Unknown";
    }
}

HttpResponse HttpResponse::json(int status, const nlohmann::json& body) {
    HttpResponse response;
    response.status = status;
    // Names and characters from the HID socket may be invalid UTF-8; replace rather than throw.
    response.body = body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return response;
}

HttpResponse HttpResponse::error(int status, std::string_view code, std::string_view message) {
    return json(status, {{"ok", false}, {"error", {{"code", code}, {"message", message}}}});
}

std::string HttpResponse::serialize(bool keepAlive) const {
    std::string out;
    out.reserve(160 + body.size());
    out += "HTTP/1.1 ";
    out += std::to_string(status);
    out += ' ';
    out += reasonPhrase(status);
    out += "\r\nServer: DaridiveVarara\r\nContent-Type: ";
    out += contentType;
    out += "\r\nContent-Length: ";
    out += std::to_string(body.size());
    out += keepAlive ? "\r\nConnection: keep-alive\r\n\r\n" : "\r\nConnection: close\r\n\r\n";
    out += body;
    return out;
}

} // namespace Engine
