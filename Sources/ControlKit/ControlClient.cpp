#include "ControlKit/ControlClient.h"

#include "Runtime/Clock.h"
#include "Runtime/HttpClient.h"
#include "Runtime/Task.h"

#include <asio/co_spawn.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_future.hpp>
#include <nlohmann/json.hpp>

#include <thread>

using nlohmann::json;

namespace ControlKit {

namespace {
constexpr std::chrono::milliseconds postTimeout{60'000};
// How long the fallback thread waits for one post before moving on.
constexpr std::chrono::milliseconds postOrderWait{2'000};
constexpr std::chrono::milliseconds statusTimeout{2'000};
constexpr std::chrono::milliseconds openAppTimeout{8'000};

std::string touchBody(std::string_view type, int32_t x, int32_t y) {
    return json{{"type", type}, {"x", x}, {"y", y}}.dump();
}

// The address of `path` below the base URL; empty when the base is not an http(s) URL.
std::string resolve(const std::string& base, const std::string& path) {
    if (base.rfind("http://", 0) != 0 && base.rfind("https://", 0) != 0) {
        return {};
    }
    std::string trimmedBase = base;
    while (!trimmedBase.empty() && trimmedBase.back() == '/') {
        trimmedBase.pop_back();
    }
    return trimmedBase + path;
}
} // namespace

ControlClient::ControlClient(std::string baseURL)
    : baseURL_(std::move(baseURL)), httpQueue_(std::make_unique<Runtime::SerialQueue>("vedevave.control")),
      scheduler_(std::make_unique<Runtime::SerialQueue>("vedevave.swipes")) {}

ControlClient::~ControlClient() {
    scheduler_.reset();
    httpQueue_.reset();
}

std::string ControlClient::baseURL() const {
    std::lock_guard guard(mutex_);
    return baseURL_;
}

void ControlClient::setBaseURL(std::string baseURL) {
    std::lock_guard guard(mutex_);
    baseURL_ = std::move(baseURL);
}

std::optional<std::string> ControlClient::hidSocketPath() const {
    std::lock_guard guard(mutex_);
    return hidSocketPath_;
}

void ControlClient::setHidSocketPath(std::optional<std::string> path) {
    std::shared_ptr<HidSocketClient> previous;
    {
        std::lock_guard guard(mutex_);
        hidSocketPath_ = path;
        if (!path) {
            return;
        }
        previous = std::move(hid_);
        hid_ = std::make_shared<HidSocketClient>(*path);
    }
    // The old client finishes its current message and drops the rest outside the lock.
    previous.reset();
}

std::shared_ptr<HidSocketClient> ControlClient::activeHid() const {
    std::shared_ptr<HidSocketClient> hid;
    {
        std::lock_guard guard(mutex_);
        hid = hid_;
    }
    return hid && hid->isAvailable() ? hid : nullptr;
}

void ControlClient::viaHttp(std::function<void()> work) { httpQueue_->post(std::move(work)); }

void ControlClient::post(const std::string& path, const std::string& jsonBody) {
    const std::string url = resolve(baseURL(), path);
    if (url.empty()) {
        return;
    }
    Runtime::HttpRequest request;
    request.method = "POST";
    request.url = url;
    request.headers = {{"Content-Type", "application/json"}};
    request.body = jsonBody;
    request.timeout = postTimeout;
    auto answer = asio::co_spawn(Runtime::backgroundPool(), Runtime::HttpClient::shared().perform(request),
                                 asio::use_future);
    // The outcome is ignored; waiting a little keeps consecutive posts in order at the engine.
    answer.wait_for(postOrderWait);
}

void ControlClient::touch(std::string_view type, int32_t x, int32_t y) {
    if (auto hid = activeHid()) {
        hid->touch(type, x, y);
        return;
    }
    viaHttp([this, body = touchBody(type, x, y)] { post("/touch", body); });
}

void ControlClient::tap(int32_t x, int32_t y) {
    if (auto hid = activeHid()) {
        hid->tap(x, y, tapHoldUs);
        return;
    }
    viaHttp([this, x, y] {
        post("/touch", touchBody("contact", x, y));
        std::this_thread::sleep_for(std::chrono::milliseconds(HidSocketClient::tapRepeatDelayMs));
        post("/touch", touchBody("contact", x, y));
        std::this_thread::sleep_for(std::chrono::microseconds(tapHoldUs));
        post("/touch", touchBody("release", x, y));
    });
}

void ControlClient::releaseTouch(int32_t x, int32_t y, uint32_t minHoldUs, uint64_t pressedAt) {
    if (auto hid = activeHid()) {
        hid->release(x, y, minHoldUs, pressedAt);
        return;
    }
    viaHttp([this, x, y, minHoldUs, pressedAt] {
        const uint64_t now = Runtime::monotonicNow();
        const uint64_t elapsedUs = now > pressedAt ? (now - pressedAt) / 1000 : 0;
        if (elapsedUs < minHoldUs) {
            std::this_thread::sleep_for(std::chrono::microseconds(minHoldUs - elapsedUs));
        }
        post("/touch", touchBody("release", x, y));
    });
}

void ControlClient::button(std::string_view name, std::string_view state) {
    const bool alsoRelease = state == "press";
    if (auto hid = activeHid()) {
        hid->button(name, state);
        if (alsoRelease) {
            hid->button(name, "release");
        }
        return;
    }
    viaHttp([this, press = json{{"name", name}, {"state", state}}.dump(),
             release = json{{"name", name}, {"state", "release"}}.dump(), alsoRelease] {
        post("/button", press);
        if (alsoRelease) {
            post("/button", release);
        }
    });
}

void ControlClient::key(bool down, uint16_t usage, std::string_view character, uint8_t mods) {
    if (auto hid = activeHid()) {
        hid->key(down, usage, character, mods);
        return;
    }
    // Characters that are not valid UTF-8 cannot be written as JSON text; the key still goes.
    json body{{"down", down}, {"usage", usage}, {"char", character}, {"mods", mods}};
    viaHttp([this, text = body.dump(-1, ' ', false, json::error_handler_t::replace)] { post("/key", text); });
}

void ControlClient::instant(bool hard) {
    if (auto hid = activeHid()) {
        hid->instant(hard);
        return;
    }
    viaHttp([this, body = json{{"hard", hard}}.dump()] { post("/instant", body); });
}

void ControlClient::musicSafe(bool on) {
    if (auto hid = activeHid()) {
        hid->musicSafe(on);
        return;
    }
    viaHttp([this, body = json{{"on", on}}.dump()] { post("/music-safe", body); });
}

void ControlClient::keyboardReset() {
    if (auto hid = activeHid()) {
        hid->keyboardReset();
        return;
    }
    viaHttp([this] { post("/keyboard-reset", "{}"); });
}

void ControlClient::fireTouchPath(const TouchStep (&steps)[6]) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 6; ++i) {
        auto timer = std::make_shared<asio::steady_timer>(scheduler_->context(),
                                                          start + std::chrono::milliseconds(i * swipeStepMs));
        const TouchStep step = steps[i];
        timer->async_wait([this, timer, step](const std::error_code& error) {
            if (!error) {
                touch(step.type, step.x, step.y);
            }
        });
    }
}

void ControlClient::swipeUp() {
    static const TouchStep path[6] = {{"contact", 32768, 64000}, {"contact", 32768, 52000},
                                      {"contact", 32768, 40000}, {"contact", 32768, 28000},
                                      {"contact", 32768, 16000}, {"release", 32768, 8000}};
    fireTouchPath(path);
}

void ControlClient::swipeDown() {
    static const TouchStep path[6] = {{"contact", 50000, 1200},  {"contact", 50000, 8000},
                                      {"contact", 50000, 18000}, {"contact", 50000, 30000},
                                      {"contact", 50000, 42000}, {"release", 50000, 48000}};
    fireTouchPath(path);
}

asio::awaitable<nlohmann::json> ControlClient::requestJSON(std::string method, std::string path,
                                                        std::optional<std::string> body,
                                                        std::chrono::milliseconds timeout) {
    const std::string url = resolve(baseURL(), path);
    if (url.empty()) {
        throw ControlClientRequestError::endpointUnavailable(ControlDecoding::invalidURLText);
    }
    Runtime::HttpRequest request;
    request.method = std::move(method);
    request.url = url;
    request.timeout = timeout;
    if (body) {
        request.headers = {{"Content-Type", "application/json"}};
        request.body = *body;
    }
    Runtime::HttpResponse response;
    try {
        response = co_await Runtime::HttpClient::shared().perform(std::move(request));
    } catch (const Runtime::HttpError& error) {
        throw ControlClientRequestError::endpointUnavailable(ControlDecoding::unavailablePrefix + error.description());
    }
    co_return ControlDecoding::interpretAnswer(response.status, response.body);
}

asio::awaitable<ControlForegroundAppStatus> ControlClient::foregroundAppStatus() {
    const json object = co_await requestJSON("GET", "/status", std::nullopt, statusTimeout);
    auto foreground = object.find("foreground");
    if (foreground == object.end() || !foreground->is_object()) {
        throw ControlClientRequestError::endpointUnavailable(ControlDecoding::noForegroundText);
    }
    co_return ControlDecoding::decodeForeground(*foreground);
}

asio::awaitable<ControlAppLaunchReceipt> ControlClient::openAppDirect(std::string name) {
    const std::string trimmedName = ControlDecoding::trimmed(name);
    if (trimmedName.empty()) {
        throw ControlClientRequestError::rejected(400, "invalid_selector", ControlDecoding::emptyAppNameText);
    }
    const std::string body = json{{"name", trimmedName}}.dump(-1, ' ', false, json::error_handler_t::replace);
    const json object = co_await requestJSON("POST", "/open-app", body, openAppTimeout);
    co_return ControlDecoding::decodeLaunchReceipt(object, trimmedName);
}

} // namespace ControlKit
