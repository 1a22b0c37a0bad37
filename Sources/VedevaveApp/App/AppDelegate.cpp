#include "VedevaveApp/App/AppDelegate.h"

#include "ControlKit/VedevaveSettings.h"
#include "DeviceKit/Usbmux.h"
#include "Platform/Clipboard.h"
#include "Platform/Environment.h"
#include "Platform/Paths.h"
#include "Platform/Workspace.h"
#include "Runtime/Executors.h"
#include "Runtime/Log.h"
#include "VedevaveApp/LocalAPI/LocalAPIServer.h"
#include "VedevaveApp/Workflows/WorkflowPlayer.h"
#include "VedevaveApp/Workflows/WorkflowRecorder.h"
#include "VedevaveApp/Workflows/WorkflowTiming.h"

#include <asio/post.hpp>

#include <charconv>
#include <cstdio>
#include <unistd.h>

namespace VedevaveApp {

namespace {

// VEDEVAVE_API_PORT when it is a valid port, else 8090.
int apiPortFromEnvironment() {
    auto value = Platform::Environment::nonEmpty("VEDEVAVE_API_PORT");
    if (!value) {
        return static_cast<int>(AppArgs::defaultHttpPort);
    }
    int port = 0;
    auto [end, error] = std::from_chars(value->data(), value->data() + value->size(), port);
    if (error != std::errc() || end != value->data() + value->size() || port < 1 || port > 65535) {
        Runtime::logLine("Vedevave: ignoring VEDEVAVE_API_PORT=" + *value + " (not a port); using 8090");
        return static_cast<int>(AppArgs::defaultHttpPort);
    }
    return port;
}

void logDevices(const std::vector<DeviceKit::DeviceInfo>& devices) {
    if (devices.empty()) {
        Runtime::logLine(std::string("Vedevave: ") + DevicePicker::emptyListText);
        return;
    }
    for (const auto& device : devices) {
        Runtime::logLine("Vedevave: USB phone " + device.displayTitle() + " udid=" + device.udid);
    }
}

} // namespace

AppDelegate::AppDelegate(AppArgs args)
    : args_(std::move(args)), aspectRatio_(args_.initialAspectRatio()),
      window_([this] { showDevicePicker(); }) {
    auto choice = args_.validatedHttpPort();
    if (choice.warning) {
        Runtime::logLine(*choice.warning);
    }
    args_.httpPort = choice.port;
    apiPort_ = args_.didSetHttpPort && !choice.warning ? choice.port : apiPortFromEnvironment();

    SessionController::Options options;
    options.httpPort = args_.httpPort;
    options.controlPeer = [](const std::string& udid) { return DeviceKit::Usbmux::controlPeer(udid); };
    sessions_ = std::make_unique<SessionController>(std::move(options), control_, window_);

    SessionController* sessions = sessions_.get();
    sidebar_ = std::make_unique<WorkflowSidebarController>(WorkflowSidebarDependencies{
        sidebarPort_, WorkflowRecorder::shared(), WorkflowPlayer::shared(), gate_, control_,
        [] { return false; }, // no agent runs in this build yet
        [sessions] { return sessions->didRevealMirror(); }, [] { return TouchMap::Mode::portrait(); }, {}});
    workflowEndpoints_ = std::make_unique<LocalAPIWorkflowEndpoints>(*sidebar_);
    // Playback and recording follow the latency of the frames the user sees.
    WorkflowTiming::setLatencyProvider([sessions]() -> WorkflowTiming::LatencyPercentiles {
        if (const FramePresenter* presenter = sessions->presenter()) {
            const auto snapshot = presenter->presentLatency().snapshot();
            return {snapshot.p50Ms, snapshot.p95Ms};
        }
        return {};
    });
}

AppDelegate::~AppDelegate() { applicationWillTerminate(); }

void AppDelegate::applicationDidFinishLaunching() {
    // First of all: engines started later inherit the effective settings through the environment.
    ControlKit::VedevaveSettings::applyToEnvironment();
    // The engine pastes from the same file the headless clipboard writes.
    if (!Platform::Environment::nonEmpty("VEDEVAVE_CLIPBOARD_FILE")) {
        Platform::Environment::set("VEDEVAVE_CLIPBOARD_FILE", Platform::FileClipboard::defaultPath().string());
    }
    if (args_.simulate) {
        startSimulatedDaemon();
    }

    // The server listens on loopback unless remote access was asked for (it then wants a token).
    LocalAPIServer::shared().setAllowRemote(args_.allowRemote);
    startLocalAPI();

    if (args_.web) {
        const std::string address = "http://127.0.0.1:" + std::to_string(apiPort_) + "/web";
        std::printf("==> Web Mirror Studio active at %s\n", address.c_str());
        std::fflush(stdout);
        if (args_.openWeb) {
            Platform::Workspace::openURL(address);
        }
    }

    // Re-pointed at the engine during boot.
    control_.setBaseURL("http://127.0.0.1:" + std::to_string(args_.httpPort));
    powerEvents_ = Platform::makeSystemPowerEvents();
    sessions_->installSessionHealthObservers(*powerEvents_);

    if (args_.udid || args_.simulate) {
        bootFromCommandLine(args_.udid);
    } else {
        beginOnboardingFlow();
    }
}

void AppDelegate::startLocalAPI() {
    auto& server = LocalAPIServer::shared();
    auto& hooks = server.hooks;
    std::weak_ptr<bool> alive = alive_;
    // Only a revealed session may be driven: before that the engine's endpoints are not known.
    hooks.controlProvider = [this, alive]() -> ControlKit::ControlClientInterface* {
        return alive.lock() && sessions_->didRevealMirror() ? &control_ : nullptr;
    };
    hooks.touchModeProvider = [] { return TouchMap::Mode::portrait(); };
    hooks.statusProvider = [this, alive]() -> nlohmann::json {
        return alive.lock() ? statusObject() : nlohmann::json::object();
    };
    hooks.beginControlAction = [this, alive] { return alive.lock() && gate_.beginManualLease(); };
    hooks.endControlAction = [this, alive] {
        if (alive.lock()) {
            gate_.endManualLease();
        }
    };
    hooks.beginWorkflowPlayback = [this, alive] {
        return alive.lock() && gate_.beginExclusive(DeviceActionGate::ExclusiveOwner::workflowPlayback);
    };
    hooks.endWorkflowPlayback = [this, alive] {
        if (alive.lock()) {
            gate_.endExclusive(DeviceActionGate::ExclusiveOwner::workflowPlayback);
        }
    };
    if (!routes_) {
        routes_ = std::make_unique<LocalAPIRoutes>(hooks, WorkflowPlayer::shared(), workflowEndpoints_.get());
    }
    LocalAPIRoutes* routes = routes_.get();
    server.setHandler([routes](LocalAPIRequest request) { return routes->route(std::move(request)); });
    server.start(static_cast<uint16_t>(apiPort_));
}

nlohmann::json AppDelegate::statusObject() const {
    const auto& session = sessions_->session();
    const FramePresenter* presenter = sessions_->presenter();
    return {{"connected", sessions_->didRevealMirror()},
            {"device", sessions_->cachedDeviceName()},
            {"codec", sessions_->codecLabel()},
            {"state", sessions_->connectionState().title()},
            {"engineAlive", session && session->isAlive()},
            {"displayFps", presenter ? presenter->frameRate() : 0},
            {"captureFps", 0},
            {"apiPort", LocalAPIServer::shared().port()}};
}

void AppDelegate::startSimulatedDaemon() {
    const auto folder = Platform::Paths::runtimeDirectory();
    const std::string path = (folder / ("vedevave-usbmux-" + std::to_string(::getpid()) + ".sock")).string();
    try {
        simulatedDaemon_ = std::make_unique<DeviceKit::SimulatedUsbmuxServer>(path);
        Platform::Environment::set("USBMUXD_SOCKET_ADDRESS", simulatedDaemon_->socketAddress());
        Runtime::logLine("Vedevave: simulated phone \"" + std::string(DeviceKit::SimulatedUsbmuxServer::deviceName) +
                         "\" listed at " + path);
    } catch (const std::exception& error) {
        Runtime::logLine(std::string("Vedevave: ") + error.what());
    }
}

void AppDelegate::bootFromCommandLine(std::optional<std::string> udid) {
    // Discovery blocks for one daemon exchange: keep it off the main executor.
    std::weak_ptr<bool> alive = alive_;
    asio::post(Runtime::backgroundPool(), [this, alive, udid] {
        try {
            DeviceKit::DeviceInfo device = DeviceKit::Usbmux::pick(udid);
            Runtime::postToMain([this, alive, device] {
                if (alive.lock()) {
                    sessions_->startBoot(device);
                }
            });
        } catch (const DeviceKit::DeviceKitError& error) {
            const std::string text = error.description();
            Runtime::postToMain([this, alive, text] {
                if (!alive.lock()) {
                    return;
                }
                sessions_->presentBootFailure(text);
                std::fprintf(stderr, "boot failed: %s\n", text.c_str());
                std::fflush(stderr);
            });
        }
    });
}

void AppDelegate::beginOnboardingFlow() { showDevicePicker(); }

void AppDelegate::showDevicePicker() {
    if (picker_) {
        picker_->stop();
    }
    sessions_->applyConnectionState(ConnectionState::pickingDevice());
    std::weak_ptr<bool> alive = alive_;
    picker_ = std::make_unique<DevicePicker>(
        Runtime::mainExecutor(), [] { return DeviceKit::Usbmux::usbDevices(); },
        [this, alive](const std::vector<DeviceKit::DeviceInfo>& devices) {
            logDevices(devices);
            if (devices.empty() || !alive.lock()) {
                return;
            }
            // Choosing a phone stops the refresh and boots it.
            const DeviceKit::DeviceInfo chosen = devices.front();
            Runtime::postToMain([this, alive, chosen] {
                if (!alive.lock()) {
                    return;
                }
                if (picker_) {
                    picker_->stop();
                }
                sessions_->startBoot(chosen);
            });
        });
    picker_->start();
}

void AppDelegate::applicationWillTerminate() {
    if (didTerminate_) {
        return;
    }
    didTerminate_ = true;
    *alive_ = false;
    // Playback and the local server join here as they arrive; the engine goes before the reader
    // that watches it, and the simulated daemon last, once nothing asks it any more.
    // Playback lets go of the phone and the gate first; then the server stops taking requests
    // before the session that serves them goes away.
    sidebar_->cancelPlaybackForShutdown();
    LocalAPIServer::shared().stop();
    sessions_->removeSessionHealthObservers();
    if (picker_) {
        picker_->stop();
    }
    sessions_->stopSession();
    simulatedDaemon_.reset();
    Runtime::logLine("Vedevave: shut down");
}

} // namespace VedevaveApp
