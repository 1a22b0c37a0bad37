#include "VedevaveApp/LocalAPI/LocalAPIResponse.h"

namespace VedevaveApp {

std::string_view reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 202:
        return "Accepted";
    case 204:
        return "No Content";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 409:
        return "Conflict";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

LocalAPIResponse LocalAPIResponse::json(int status, const nlohmann::json& object) {
    LocalAPIResponse response;
    response.status = status;
    try {
        response.body = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    } catch (const std::exception&) {
        response.body = "{}";
    }
    return response;
}

LocalAPIResponse LocalAPIResponse::raw(int status, std::string contentType, std::string body) {
    LocalAPIResponse response;
    response.status = status;
    response.contentType = std::move(contentType);
    response.body = std::move(body);
    response.isJSON = false;
    return response;
}

LocalAPIResponse LocalAPIResponse::error(int status, std::string_view text) {
    return json(status, {{"ok", false}, {"error", text}});
}

LocalAPIResponse optionsResponse() {
    return LocalAPIResponse::raw(204, "text/plain", "");
}

std::string LocalAPIResponse::serialize(std::string_view allowedOrigin, bool isHead, bool keepAlive) const {
    const std::string_view content = isHead ? std::string_view() : std::string_view(body);
    std::string out;
    out.reserve(320 + content.size());
    out += "HTTP/1.1 ";
    out += std::to_string(status);
    out += ' ';
    out += reasonPhrase(status);
    out += "\r\nContent-Type: ";
    out += contentType;
    out += "\r\nContent-Length: ";
    out += std::to_string(content.size());
    out += "\r\n";
    if (!isJSON) {
        out += "Cache-Control: no-cache, no-store, must-revalidate\r\n";
    }
    out += "Access-Control-Allow-Origin: ";
    out += allowedOrigin;
    out += "\r\nAccess-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
           "Access-Control-Allow-Headers: Content-Type, Authorization\r\n";
    for (const auto& [name, value] : extraHeaders) {
        out += name;
        out += ": ";
        out += value;
        out += "\r\n";
    }
    out += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    out += content;
    return out;
}

} // namespace VedevaveApp
