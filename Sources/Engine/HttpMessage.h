// HTTP/1.1 request and response values of the engine's control server. Plain values; any thread.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace Engine {

struct HttpHeader {
    std::string name;
    std::string value;
};

struct HttpRequest {
    std::string method;
    std::string target; // as sent, e.g. "/debug/state?touches=10"
    std::string path;   // target up to '?'
    std::string query;  // after '?', without it
    int versionMinor = 1;
    std::vector<HttpHeader> headers;
    std::string body;
    bool keepAlive = true;
    bool expectsContinue = false;

    // First header of that name (case-insensitive), or nullptr.
    const std::string* header(std::string_view name) const;
    // Value of one query parameter (no percent-decoding: the engine's parameters are plain).
    std::string queryValue(std::string_view key) const;
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    bool closeConnection = false;

    static HttpResponse json(int status, const nlohmann::json& body);
    // {"ok": false, "error": {"code": code, "message": message}}
    static HttpResponse error(int status, std::string_view code, std::string_view message);

    std::string serialize(bool keepAlive) const;
};

std::string_view reasonPhrase(int status);
bool equalsIgnoreCase(std::string_view a, std::string_view b);

} // namespace Engine
