#include "VedevaveApp/Providers/ProviderHTTP.h"

#include "VedevaveApp/Providers/ProviderText.h"

#include <algorithm>
#include <curl/curl.h>
#include <map>
#include <memory>

namespace VedevaveApp::ProviderHTTP {

namespace {

using URLHandle = std::unique_ptr<CURLU, decltype(&curl_url_cleanup)>;

URLHandle parsed(const std::string& text) {
    URLHandle handle(curl_url(), curl_url_cleanup);
    if (!handle ||
        curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
        return URLHandle(nullptr, curl_url_cleanup);
    }
    return handle;
}

std::optional<std::string> part(CURLU* handle, CURLUPart which) {
    char* value = nullptr;
    if (curl_url_get(handle, which, &value, 0) != CURLUE_OK || !value) {
        return std::nullopt;
    }
    std::string result(value);
    curl_free(value);
    return result;
}

bool isPathCharacter(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        return true;
    }
    return std::string_view("-._~!$&'()*+,;=:@/%").find(static_cast<char>(c)) != std::string_view::npos;
}

std::string encodedPath(const std::string& path) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (isPathCharacter(c)) {
            out.push_back(static_cast<char>(c));
        } else {
            out += {'%', hex[c >> 4], hex[c & 0x0F]};
        }
    }
    return out;
}

bool isTokenCharacter(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        return true;
    }
    return std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

// The authority's host as written, for a text the parser has accepted. The parser rewrites numeric
// hosts (127.1, 0x7f.1, 0127.0.0.1), and loopback decisions must also hold for the text itself.
std::string hostAsWritten(const std::string& text) {
    const auto start = text.find("://");
    if (start == std::string::npos) {
        return {};
    }
    std::string authority = text.substr(start + 3, text.find_first_of("/?#", start + 3) - (start + 3));
    if (const auto at = authority.rfind('@'); at != std::string::npos) {
        authority.erase(0, at + 1);
    }
    if (authority.starts_with("[")) {
        return authority.substr(0, authority.find(']') + 1);
    }
    return authority.substr(0, authority.rfind(':'));
}

} // namespace

bool parseURL(const std::string& text, URLParts& parts) {
    auto handle = parsed(text);
    if (!handle) {
        return false;
    }
    parts = URLParts();
    parts.scheme = ProviderText::lowercased(part(handle.get(), CURLUPART_SCHEME).value_or(""));
    parts.host = part(handle.get(), CURLUPART_HOST).value_or("");
    parts.port = part(handle.get(), CURLUPART_PORT);
    parts.path = part(handle.get(), CURLUPART_PATH).value_or("/");
    parts.hasUser = part(handle.get(), CURLUPART_USER).has_value();
    parts.hasPassword = part(handle.get(), CURLUPART_PASSWORD).has_value();
    parts.hasQuery = part(handle.get(), CURLUPART_QUERY).has_value();
    parts.hasFragment =
        part(handle.get(), CURLUPART_FRAGMENT).has_value() || text.find('#') != std::string::npos;
    parts.hostAsWritten = hostAsWritten(text);
    return !parts.scheme.empty();
}

std::optional<std::string> replacingPath(const std::string& url, const std::string& path) {
    auto handle = parsed(url);
    if (!handle) {
        return std::nullopt;
    }
    const std::string encoded = encodedPath(path.empty() || path.front() != '/' ? "/" + path : path);
    if (curl_url_set(handle.get(), CURLUPART_PATH, encoded.c_str(), 0) != CURLUE_OK) {
        return std::nullopt;
    }
    auto result = part(handle.get(), CURLUPART_URL);
    if (!result || !parsed(*result)) {
        return std::nullopt;
    }
    return result;
}

std::optional<std::string> appendingPath(const std::string& url, const std::string& path) {
    URLParts parts;
    if (!parseURL(url, parts)) {
        return std::nullopt;
    }
    std::string base = parts.path;
    while (!base.empty() && base.back() == '/') {
        base.pop_back();
    }
    return replacingPath(url, base + "/" + path);
}

bool isSafeHeader(std::string_view name, std::string_view value) {
    if (name.empty() ||
        !std::all_of(name.begin(), name.end(), [](unsigned char c) { return isTokenCharacter(c); })) {
        return false;
    }
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

void setHeader(Runtime::HttpHeaders& headers, const std::string& name, const std::string& value) {
    const std::string lowered = ProviderText::lowercased(name);
    std::erase_if(headers,
                  [&](const auto& header) { return ProviderText::lowercased(header.first) == lowered; });
    headers.emplace_back(name, value);
}

std::string reasonPhrase(int status) {
    static const std::map<int, const char*> phrases = {
        {100, "Continue"},
        {101, "Switching Protocols"},
        {200, "OK"},
        {201, "Created"},
        {202, "Accepted"},
        {204, "No Content"},
        {301, "Moved Permanently"},
        {302, "Found"},
        {303, "See Other"},
        {304, "Not Modified"},
        {307, "Temporary Redirect"},
        {308, "Permanent Redirect"},
        {400, "Bad Request"},
        {401, "Unauthorized"},
        {402, "Payment Required"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {405, "Method Not Allowed"},
        {406, "Not Acceptable"},
        {408, "Request Timeout"},
        {409, "Conflict"},
        {410, "Gone"},
        {413, "Content Too Large"},
        {415, "Unsupported Media Type"},
        {422, "Unprocessable Content"},
        {429, "Too Many Requests"},
        {500, "Internal Server Error"},
        {501, "Not Implemented"},
        {502, "Bad Gateway"},
        {503, "Service Unavailable"},
        {504, "Gateway Timeout"},
        {505, "HTTP Version Not Supported"},
    };
    if (auto found = phrases.find(status); found != phrases.end()) {
        return found->second;
    }
    switch (status / 100) {
    case 1:
        return "Informational";
    case 2:
        return "Success";
    case 3:
        return "Redirection";
    case 4:
        return "Client Error";
    case 5:
        return "Server Error";
    default:
        return "Unknown Status";
    }
}

} // namespace VedevaveApp::ProviderHTTP
