// An answer of the local API and the bytes it is written as. Handlers build a JSON answer with
// `json` or any other content with `raw`; the connection serializes it with the fixed header set,
// the allowed origin of the request and the HEAD rule. Pure values; any thread.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace VedevaveApp {

struct LocalAPIResponse {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    // JSON answers carry no Cache-Control line; everything else is marked uncacheable.
    bool isJSON = true;
    // Written after the fixed header lines, before "Connection".
    std::vector<std::pair<std::string, std::string>> extraHeaders;

    // The object serialized compactly. Text that is not UTF-8 is replaced by U+FFFD rather than
    // failing; should serialization still fail, the body is "{}" with the same status.
    static LocalAPIResponse json(int status, const nlohmann::json& object);
    static LocalAPIResponse raw(int status, std::string contentType, std::string body);
    // {"ok": false, "error": text}
    static LocalAPIResponse error(int status, std::string_view text);

    // The full response: status line, header lines, blank line and body, for one write.
    // `allowedOrigin` fills Access-Control-Allow-Origin. An answer to HEAD has no body and
    // "Content-Length: 0". `keepAlive` false says "Connection: close" (the server then closes).
    std::string serialize(std::string_view allowedOrigin, bool isHead = false, bool keepAlive = true) const;
};

// "OK", "Not Found", ...; "Error" for a status without its own phrase.
std::string_view reasonPhrase(int status);

// The answer to OPTIONS on any path: 204, empty, with the CORS lines.
LocalAPIResponse optionsResponse();

} // namespace VedevaveApp
