// Runs one device session at a time on the main executor: boots a phone (engine session, control
// client, video), walks the connection states, retries failed boots, restarts a dead engine,
// recovers after sleep, and turns failures into short texts. Everything it shows goes through the
// MainWindowPort. Main executor only; blocking steps hop to the background pool.
#pragma once

#include "ControlKit/ControlClient.h"
#include "DeviceKit/DeviceInfo.h"
#include "DeviceKit/TunnelSession.h"
#include "MediaKit/VideoSocketReader.h"
#include "Platform/PowerEvents.h"
#include "Runtime/Task.h"
#include "VedevaveApp/App/ConnectionState.h"
#include "VedevaveApp/App/MainWindowPort.h"
#include "VedevaveApp/Video/FramePresenter.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace VedevaveApp {

class SessionController {
public:
    struct Options {
        int64_t httpPort = 8090;
        std::chrono::milliseconds readinessTimeout{60'000};
        std::chrono::milliseconds retryPause{1200};
        std::chrono::milliseconds wakeSettle{1500};
        // Finds the best connection to a phone (Usbmux::controlPeer); may throw.
        std::function<DeviceKit::DeviceInfo(const std::string& udid)> controlPeer;
    };

    static constexpr int maximumBootRetries = 2;
    static constexpr int maximumEngineRestarts = 2;
    static constexpr const char* defaultVideoSocketPath = "/tmp/vedevave_video.sock";

    SessionController(Options options, ControlKit::ControlClient& control, MainWindowPort& window);
    ~SessionController();

    // Starts a boot as a task, cancelling a boot still in progress. A boot the user asks for (the
    // picker, --udid, retry) starts a new connection and so a new count of engine restarts; a
    // recovery boot continues the current one.
    enum class BootReason { user, recovery };
    void startBoot(DeviceKit::DeviceInfo device, BootReason reason = BootReason::user);
    asio::awaitable<void> boot(DeviceKit::DeviceInfo device);

    void applyConnectionState(const ConnectionState& state);
    void handleEngineDeath(int status);
    void presentBootFailure(const std::string& errorText);
    static std::string friendlyError(const std::string& errorText);
    void showConnecting(const DeviceKit::DeviceInfo& device);
    void hideConnecting();
    void revealMirrorIfNeeded();
    void updateStatus(const MediaKit::LatencyWindow* latency, const std::string& detail);

    void installSessionHealthObservers(Platform::PowerEvents& events);
    void removeSessionHealthObservers();
    void handleWillSleep();
    void handleDidWake();

    // The overlay's actions.
    void retry();
    void back();

    // Cancels a boot, stops the engine session, then the video reader that watched it (the back
    // action and shut-down).
    void stopSession();
    void stopVideo();

    const ConnectionState& connectionState() const { return state_; }
    bool didRevealMirror() const { return didRevealMirror_; }
    int recoveryAttempt() const { return recoveryAttempt_; }
    int engineRecoveryAttempt() const { return engineRecoveryAttempt_; }
    const std::string& codecLabel() const { return codecLabel_; }
    const std::string& cachedDeviceName() const { return cachedDeviceName_; }
    const std::shared_ptr<DeviceKit::TunnelSession>& session() const { return session_; }
    const std::optional<DeviceKit::DeviceInfo>& lastBootDevice() const { return lastBootDevice_; }
    FramePresenter* presenter() const { return presenter_.get(); }
    MediaKit::VideoSocketReader* reader() { return reader_.get(); }
    bool isBooting() const { return bootTask_.isValid() && !bootTask_.isFinished(); }

private:
    asio::awaitable<void> bootOnce(DeviceKit::DeviceInfo device);
    asio::awaitable<void> stopInBackground(std::shared_ptr<DeviceKit::TunnelSession> session);
    void startVideo(const std::optional<DeviceKit::RsdSession>& endpoints);
    void onEngineExit(int status);
    void refreshHeader(bool isConnected);

    Options options_;
    ControlKit::ControlClient& control_;
    MainWindowPort& window_;
    Platform::PowerEvents* powerEvents_ = nullptr;

    ConnectionState state_ = ConnectionState::idle();
    std::optional<DeviceKit::DeviceInfo> lastBootDevice_;
    std::shared_ptr<DeviceKit::TunnelSession> session_;
    std::shared_ptr<MediaKit::VideoSocketReader> reader_;
    std::shared_ptr<FramePresenter> presenter_;
    Runtime::Task bootTask_;
    int recoveryAttempt_ = 0;
    int engineRecoveryAttempt_ = 0;
    bool didRevealMirror_ = false;
    std::string codecLabel_ = "kwvs3";
    std::string cachedDeviceName_ = "Vedevave";
    std::chrono::steady_clock::time_point lastStatusTick_{};
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true); // weak handle for late callbacks
};

} // namespace VedevaveApp
