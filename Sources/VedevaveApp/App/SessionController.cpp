#include "VedevaveApp/App/SessionController.h"

#include "ControlKit/VedevaveSettings.h"
#include "Runtime/Executors.h"
#include "Runtime/Log.h"

#include <asio/steady_timer.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace VedevaveApp {

namespace {
constexpr const char* nonBreakingWiFi = "Wi\u2011Fi";
constexpr std::chrono::milliseconds statusInterval{250};

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string formatStatus(double fps, const std::string& codec, double p95, const std::string& detail) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, "%.0f fps · %s · p95 %.0fms · %s", fps, codec.c_str(), p95, detail.c_str());
    return buffer;
}
} // namespace

SessionController::SessionController(Options options, ControlKit::ControlClient& control, MainWindowPort& window)
    : options_(std::move(options)), control_(control), window_(window) {}

SessionController::~SessionController() {
    *alive_ = false;
    removeSessionHealthObservers();
    stopSession();
}

void SessionController::startBoot(DeviceKit::DeviceInfo device, BootReason reason) {
    bootTask_.cancel();
    if (reason == BootReason::user) {
        engineRecoveryAttempt_ = 0;
    }
    bootTask_ = Runtime::Task::start(Runtime::mainExecutor(), boot(std::move(device)));
}

// Named locals rather than temporaries inside the co_await expressions: g++ 12 can destroy such
// temporaries twice.
asio::awaitable<void> SessionController::stopInBackground(std::shared_ptr<DeviceKit::TunnelSession> session) {
    std::function<void()> stop = [session] { session->stop(); };
    auto stopped = Runtime::runInBackground(std::move(stop));
    co_await std::move(stopped);
}

asio::awaitable<void> SessionController::boot(DeviceKit::DeviceInfo device) {
    while (true) {
        std::string failure;
        try {
            co_await bootOnce(device);
            co_return;
        } catch (const Runtime::CancellationError&) {
            throw;
        } catch (const DeviceKit::TunnelError& error) {
            failure = error.description();
        } catch (const std::exception& error) {
            failure = error.what();
        }
        if (recoveryAttempt_ > 1) {
            // The engine of the last attempt may still run (a readiness timeout): end it too.
            if (auto last = std::move(session_)) {
                co_await stopInBackground(std::move(last));
            }
            presentBootFailure(failure);
            std::fprintf(stderr, "boot failed: %s\n", failure.c_str());
            std::fflush(stderr);
            co_return;
        }
        ++recoveryAttempt_;
        applyConnectionState(ConnectionState::recovering("Reopening connection…", recoveryAttempt_));
        co_await Runtime::sleepFor(options_.retryPause);
    }
}

asio::awaitable<void> SessionController::bootOnce(DeviceKit::DeviceInfo device) {
    didRevealMirror_ = false;
    lastBootDevice_ = device;
    stopVideo();
    if (auto previous = std::move(session_)) {
        co_await stopInBackground(std::move(previous));
    }
    showConnecting(device);
    window_.setWindowTitle(device.name.value_or("Vedevave"));

    DeviceKit::DeviceInfo peer = device;
    if (options_.controlPeer) {
        std::function<DeviceKit::DeviceInfo()> lookup = [find = options_.controlPeer, udid = device.udid] {
            return find(udid);
        };
        try {
            auto found = Runtime::runInBackground(std::move(lookup));
            peer = co_await std::move(found);
        } catch (const std::exception&) {
            peer = device; // discovery failed: the phone is its own peer
        }
    }
    const bool isUSB = peer.connectionType == "USB";
    applyConnectionState(ConnectionState::openingTunnel(isUSB ? "USB tunnel" : std::string(nonBreakingWiFi) + " tunnel"));

    auto session = DeviceKit::TunnelSession::create(peer, options_.httpPort);
    std::weak_ptr<bool> alive = alive_;
    std::weak_ptr<DeviceKit::TunnelSession> weakSession = session;
    session->setOnProcessExit([this, alive, weakSession](int status) {
        if (alive.lock() && weakSession.lock() == session_) {
            onEngineExit(status);
        }
    });
    session_ = session;
    std::function<void()> launch = [session] { session->start(); };
    auto started = Runtime::runInBackground(std::move(launch));
    co_await std::move(started);
    control_.setBaseURL(session->controlBaseURL());
    co_await session->waitUntilReady(options_.readinessTimeout);

    applyConnectionState(
        ConnectionState::attachingHID(isUSB ? "USB · HID" : std::string(nonBreakingWiFi) + " · HID"));
    const auto endpoints = session->rsdSession();
    if (endpoints) {
        control_.setHidSocketPath(endpoints->hidSocketPath);
    }
    startVideo(endpoints);
    applyConnectionState(ConnectionState::startingCapture());
    window_.focusVideoView();
    recoveryAttempt_ = 0;
}

void SessionController::startVideo(const std::optional<DeviceKit::RsdSession>& endpoints) {
    stopVideo();
    auto reader = std::make_shared<MediaKit::VideoSocketReader>(endpoints ? endpoints->videoSocketPath
                                                                          : defaultVideoSocketPath);
    std::weak_ptr<MediaKit::VideoSocketReader> weakReader = reader;
    auto presenter = std::make_shared<FramePresenter>([weakReader](uint32_t seq, uint64_t producedNs) {
        if (auto live = weakReader.lock()) {
            live->acknowledge(seq, producedNs);
        }
    });
    reader->onBind = [presenter](const MediaKit::RingBinding& binding) { presenter->bind(binding); };
    std::weak_ptr<bool> alive = alive_;
    reader->onFrame = [this, presenter, alive](const MediaKit::SlotFrame& frame) {
        presenter->offer(frame);
        Runtime::postToMain([this, presenter, alive] {
            if (!alive.lock() || presenter != presenter_) {
                return;
            }
            // Without a window the frame is taken as shown at once.
            if (presenter->presentPending(nullptr)) {
                revealMirrorIfNeeded();
                updateStatus(reader_ ? &reader_->endToEndLatency() : nullptr, "zero-copy");
            }
        });
    };
    reader_ = reader;
    presenter_ = presenter;
    reader->start();
}

void SessionController::stopVideo() {
    if (reader_) {
        reader_->stop(); // the ring is released: the presenter must not draw from it any more
        reader_.reset();
    }
    if (presenter_) {
        presenter_->bind(std::nullopt);
        presenter_.reset();
    }
}

void SessionController::stopSession() {
    bootTask_.cancel();
    if (auto session = std::move(session_)) {
        session->stop();
    }
    stopVideo();
}


void SessionController::onEngineExit(int status) {
    // Before the mirror showed, the boot's readiness wait reports the exit itself.
    if (!didRevealMirror_) {
        return;
    }
    Runtime::logLine("Vedevave: engine exited (" + std::to_string(status) + ") — recovering");
    handleEngineDeath(status);
}

void SessionController::handleEngineDeath(int status) {
    if (!lastBootDevice_) {
        applyConnectionState(ConnectionState::failed(
            "Control engine stopped", "Exit code " + std::to_string(status) + ". Unlock the iPhone and try again."));
        return;
    }
    if (engineRecoveryAttempt_ > 1) {
        engineRecoveryAttempt_ = 0;
        if (!window_.isConnectingOverlayShown()) {
            showConnecting(*lastBootDevice_);
        }
        applyConnectionState(ConnectionState::failed(
            "Control engine stopped",
            "Couldn’t recover automatically. Unlock the phone, quit other mirrors, then Try again."));
        return;
    }
    ++engineRecoveryAttempt_;
    applyConnectionState(ConnectionState::recovering("Control engine restarted…", engineRecoveryAttempt_));
    startBoot(*lastBootDevice_, BootReason::recovery);
}

std::string SessionController::friendlyError(const std::string& errorText) {
    const std::string lower = lowered(errorText);
    if (lower.find("exited") != std::string::npos) {
        return "The control engine stopped. Unlock the iPhone, quit other mirrors (QuickTime), and try again.";
    }
    if (errorText.find("missingEngine") != std::string::npos || lower.find("engine") != std::string::npos) {
        return "The control engine is missing. Reinstall the app, or run ./tools/build_engine.sh when developing.";
    }
    if (lower.find("timeout") != std::string::npos) {
        return "The phone didn’t answer in time. Unlock it, keep USB plugged in, and enable Developer Mode.";
    }
    return errorText;
}

void SessionController::presentBootFailure(const std::string& errorText) {
    const std::string text = friendlyError(errorText);
    if (!window_.isConnectingOverlayShown() && lastBootDevice_) {
        showConnecting(*lastBootDevice_);
    }
    if (!window_.isConnectingOverlayShown()) {
        window_.setStatusChip("error: " + text);
        window_.showDevicePicker();
        return;
    }
    applyConnectionState(ConnectionState::failed("Couldn’t connect", text));
}

void SessionController::applyConnectionState(const ConnectionState& state) {
    state_ = state;
    if (state.kind != ConnectionState::Kind::connected) {
        window_.setChromeHidden(false); // anything but a live mirror needs the chip and badges again
    }
    window_.setStatusChip(state.title());
    window_.setLinkBadge(state.badgeSymbol(), state.badgeText(), "État de la connexion — " + state.badgeText());
    if (window_.isConnectingOverlayShown()) {
        OverlayContent content;
        content.isFailed = state.kind == ConnectionState::Kind::failed;
        content.title = content.isFailed ? state.text : state.title();
        content.explanation = state.detail;
        content.lines = state.progressLines();
        window_.updateConnectingOverlay(content);
    }
    refreshHeader(state.kind == ConnectionState::Kind::connected);
}

void SessionController::refreshHeader(bool isConnected) {
    HeaderContent header;
    header.deviceName = cachedDeviceName_;
    const double fps = presenter_ ? presenter_->frameRate() : 0;
    const double p95 = presenter_ ? presenter_->presentLatency().snapshot().p95Ms : 0;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, " · %.0f FPS", fps);
    header.linkText = (session_ ? session_->device().connectionType : std::string("USB")) + buffer;
    std::snprintf(buffer, sizeof buffer, "%.0fms", p95);
    header.latencyText = buffer;
    header.isConnected = isConnected;
    window_.updateHeader(header);
}

void SessionController::showConnecting(const DeviceKit::DeviceInfo& device) {
    window_.hideConnectingOverlay();
    const std::string name = device.name.value_or("iPhone");
    window_.showConnectingOverlay(name);
    window_.setChromeHidden(false);
    window_.updateConnectingOverlay(
        OverlayContent{"Opening tunnel…", ConnectionState::openingTunnel("").progressLines(), false, ""});
    window_.setDeviceBadge("iphone", name, std::string("Connexion en cours…"));
    cachedDeviceName_ = name;
    applyConnectionState(ConnectionState::openingTunnel("linking…"));
}

void SessionController::hideConnecting() {
    window_.hideConnectingOverlay();
    didRevealMirror_ = true;
    applyConnectionState(ConnectionState::connected(codecLabel_));
    if (!ControlKit::VedevaveSettings::didShowFirstHints()) {
        ControlKit::VedevaveSettings::setDidShowFirstHints(true);
        window_.showFirstHints();
    }
}

void SessionController::revealMirrorIfNeeded() {
    if (!didRevealMirror_) {
        hideConnecting();
    }
}

void SessionController::updateStatus(const MediaKit::LatencyWindow* latency, const std::string& detail) {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastStatusTick_ < statusInterval) {
        return;
    }
    lastStatusTick_ = now;
    const double fps = presenter_ ? presenter_->frameRate() : 0;
    const double p95 = latency ? latency->snapshot().p95Ms : 0;
    window_.setStatusChip(formatStatus(fps, codecLabel_, p95, detail));
    if (didRevealMirror_) {
        window_.setChromeHidden(true);
    }
    refreshHeader(state_.kind == ConnectionState::Kind::connected || didRevealMirror_);
}

void SessionController::installSessionHealthObservers(Platform::PowerEvents& events) {
    removeSessionHealthObservers();
    powerEvents_ = &events;
    std::weak_ptr<bool> alive = alive_;
    events.start(
        [this, alive] {
            if (alive.lock()) {
                handleWillSleep();
            }
        },
        [this, alive] {
            if (alive.lock()) {
                handleDidWake();
            }
        });
}

void SessionController::removeSessionHealthObservers() {
    if (powerEvents_) {
        powerEvents_->stop();
        powerEvents_ = nullptr;
    }
}

void SessionController::handleWillSleep() {
    Runtime::logLine("Vedevave: Mac will sleep");
    window_.setStatusChip("Mac sleeping…");
}

void SessionController::handleDidWake() {
    Runtime::logLine("Vedevave: Mac woke — recovering capture");
    applyConnectionState(ConnectionState::recovering("Mac woke — restoring…", 1));
    if (session_ && !session_->isAlive() && lastBootDevice_) {
        startBoot(*lastBootDevice_, BootReason::recovery);
        return;
    }
    if (didRevealMirror_) {
        auto timer = std::make_shared<asio::steady_timer>(Runtime::mainContext(), options_.wakeSettle);
        std::weak_ptr<bool> alive = alive_;
        timer->async_wait([this, timer, alive](const std::error_code& error) {
            if (!error && alive.lock()) {
                applyConnectionState(ConnectionState::connected(codecLabel_));
            }
        });
    }
}

void SessionController::retry() {
    recoveryAttempt_ = 0;
    if (lastBootDevice_) {
        startBoot(*lastBootDevice_);
    }
}

void SessionController::back() {
    window_.hideConnectingOverlay();
    stopSession();
    window_.showDevicePicker();
}

} // namespace VedevaveApp
