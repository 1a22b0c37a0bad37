#include "VedevaveApp/LocalAPI/LocalAPIHandlers.h"

#include <array>
#include <string_view>

namespace VedevaveApp {

namespace {

bool isOneOf(std::string_view path, std::initializer_list<std::string_view> paths) {
    for (auto candidate : paths) {
        if (path == candidate) {
            return true;
        }
    }
    return false;
}

constexpr const char* placeholderPage =
    "<!doctype html><html><head><meta charset=\"utf-8\"><title>Vedevave</title></head>"
    "<body><h1>Vedevave local API</h1><p>GET <a href=\"/v1\">/v1</a> lists the endpoints.</p></body></html>";

} // namespace

LocalAPITarget targetOf(const LocalAPIRequest& request) {
    const std::string lowerBlock = LocalAPIRequestText::lowercased(request.headerBlock);
    if (lowerBlock.find("upgrade: websocket") != std::string::npos ||
        lowerBlock.find("sec-websocket-key") != std::string::npos ||
        isOneOf(request.path, {"/v1/ws", "/ws"})) {
        return LocalAPITarget::webSocket;
    }
    const std::string& method = request.method;
    if (method == "OPTIONS") {
        return LocalAPITarget::options;
    }
    if ((method == "GET" || method == "HEAD") &&
        isOneOf(request.path, {"/", "/web", "/web/", "/index.html"})) {
        return LocalAPITarget::page;
    }
    if (method == "GET" && isOneOf(request.path, {"/v1/stream", "/v1/screen.mjpeg", "/stream", "/mjpeg"})) {
        return LocalAPITarget::mjpegStream;
    }
    if (method == "GET" &&
        isOneOf(request.path, {"/v1/screen.jpg", "/v1/screen.jpeg", "/screen.jpg", "/v1/screen.raw"})) {
        return LocalAPITarget::singleFrame;
    }
    return LocalAPITarget::route;
}

LocalAPIHandlers LocalAPIHandlers::defaults() {
    LocalAPIHandlers handlers;
    handlers.route = [](LocalAPIRequest request) -> asio::awaitable<LocalAPIResponse> {
        co_return LocalAPIResponse::json(
            404, {{"ok", false}, {"error", "not found"}, {"path", request.path}, {"hint", "GET /v1"}});
    };
    handlers.singleFrame = [](LocalAPIRequest) -> asio::awaitable<LocalAPIResponse> {
        co_return LocalAPIResponse::error(503, "no live frame");
    };
    handlers.page = placeholderPage;
    return handlers;
}

} // namespace VedevaveApp
