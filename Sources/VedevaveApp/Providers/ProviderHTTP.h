// URL and header helpers shared by the provider types: URLs are read with libcurl's URL parser
// (the one the HTTP client itself uses), so that what is validated is what gets requested.
// Pure functions; any thread may call.
#pragma once

#include "Runtime/HttpClient.h"

#include <optional>
#include <string>
#include <string_view>

namespace VedevaveApp::ProviderHTTP {

struct URLParts {
    std::string scheme;        // lower case
    std::string host;          // as the parser reads it (127.1 becomes 127.0.0.1); IPv6 keeps its brackets
    std::string hostAsWritten; // the same host as the text spells it, empty when there is no "//"
    std::optional<std::string> port;
    std::string path; // percent-encoded as written; "/" when the URL has none
    bool hasUser = false;
    bool hasPassword = false;
    bool hasQuery = false;
    bool hasFragment = false; // also for an empty fragment ("#" at the end)
};

// False when the text is not an absolute URL (any scheme) the parser accepts.
bool parseURL(const std::string& text, URLParts& parts);

// The URL with its path replaced (scheme, host, port and query kept). Characters a path may not
// hold are percent-encoded. Nothing when the result is not a URL.
std::optional<std::string> replacingPath(const std::string& url, const std::string& path);

// `path` (without leading or trailing "/") appended below the URL's path, one "/" between them.
std::optional<std::string> appendingPath(const std::string& url, const std::string& path);

// A header that can be sent as written: the name is an HTTP token (no separators, spaces or line
// breaks), the value holds no carriage return, line feed or NUL.
bool isSafeHeader(std::string_view name, std::string_view value);

// Sets a header, replacing every earlier one of the same name (names compare case-insensitively).
void setHeader(Runtime::HttpHeaders& headers, const std::string& name, const std::string& value);

// The standard reason phrase ("Not Found"), or a phrase for the status class when it is unusual.
std::string reasonPhrase(int status);

} // namespace VedevaveApp::ProviderHTTP
