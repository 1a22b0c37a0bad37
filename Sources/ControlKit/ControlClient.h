// The one object through which every actor moves the phone. Fire-and-forget operations go to the
// engine's HID socket when its file exists and otherwise to the engine's HTTP interface; the two
// request-and-answer operations always use HTTP. Operations may be called from any thread; the
// session controller re-points the client (base URL, HID socket) on the main executor between
// sessions.
#pragma once

#include "ControlKit/ControlClientInterface.h"
#include "ControlKit/ControlValues.h"
#include "ControlKit/HidSocketClient.h"
#include "Runtime/Executors.h"

#include <asio/awaitable.hpp>
#include <nlohmann/json.hpp>

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace ControlKit {

class ControlClient : public ControlClientInterface {
public:
    // What a tap holds on the HID path, in microseconds.
    static constexpr uint32_t tapHoldUs = 160'000;
    static constexpr int swipeStepMs = 20;

    explicit ControlClient(std::string baseURL);
    ~ControlClient() override;

    std::string baseURL() const;
    void setBaseURL(std::string baseURL);
    std::optional<std::string> hidSocketPath() const;
    // A present path replaces the HID client; an absent one leaves it as it is.
    void setHidSocketPath(std::optional<std::string> path);

    void touch(std::string_view type, int32_t x, int32_t y) override;
    void tap(int32_t x, int32_t y) override;
    void releaseTouch(int32_t x, int32_t y, uint32_t minHoldUs, uint64_t pressedAt) override;
    void button(std::string_view name, std::string_view state) override;
    void key(bool down, uint16_t usage, std::string_view character, uint8_t mods) override;
    void instant(bool hard) override;
    void musicSafe(bool on) override;
    void keyboardReset() override;
    void swipeUp() override;
    void swipeDown() override;

    // GET "/status" and decode its "foreground" report. Throws ControlClientRequestError or
    // Runtime::CancellationError.
    virtual asio::awaitable<ControlForegroundAppStatus> foregroundAppStatus();
    // POST "/open-app" {"name"}. Throws ControlClientRequestError or Runtime::CancellationError.
    virtual asio::awaitable<ControlAppLaunchReceipt> openAppDirect(std::string name);

private:
    struct TouchStep {
        const char* type;
        int32_t x;
        int32_t y;
    };

    // The HID client when its socket file exists, else null (the HTTP path).
    std::shared_ptr<HidSocketClient> activeHid() const;
    // Queues one HTTP fallback in call order; `work` may sleep and post.
    void viaHttp(std::function<void()> work);
    // Sends one POST and waits (on the fallback thread) for its answer, so posts arrive in order.
    void post(const std::string& path, const std::string& jsonBody);
    // The answer object of one request; errors as ControlClientRequestError.
    asio::awaitable<nlohmann::json> requestJSON(std::string method, std::string path, std::optional<std::string> body,
                                             std::chrono::milliseconds timeout);
    void fireTouchPath(const TouchStep (&steps)[6]);

    mutable std::mutex mutex_;
    std::string baseURL_;                     // guarded by mutex_
    std::optional<std::string> hidSocketPath_; // guarded by mutex_
    std::shared_ptr<HidSocketClient> hid_;    // guarded by mutex_
    // HTTP fallbacks run here in call order, so their pauses never block the caller.
    std::unique_ptr<Runtime::SerialQueue> httpQueue_;
    // Timers of the canned swipes.
    std::unique_ptr<Runtime::SerialQueue> scheduler_;
};

} // namespace ControlKit
