// Boots the real DaridiveVarara through the session controller with private ports and paths, and
// drives the main executor until a condition holds. Every engine started here is stopped by the
// controller's destructor.
#pragma once

#include "ControlKit/ControlClient.h"
#include "Platform/Environment.h"
#include "Platform/PowerEvents.h"
#include "Platform/PreferenceStore.h"
#include "Runtime/Executors.h"
#include "Support/ChildProcess.h"
#include "Support/FreePort.h"
#include "Support/SimpleHttp.h"
#include "VedevaveApp/App/SessionController.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>

namespace SessionTest {

using namespace std::chrono_literals;

// Records what the controller shows.
class RecordingWindow final : public VedevaveApp::MainWindowPort {
public:
    void setWindowTitle(const std::string& title) override { titles.push_back(title); }
    void setStatusChip(const std::string& text) override { chips.push_back(text); }
    void setChromeHidden(bool hidden) override { chromeHidden = hidden; }
    void setDeviceBadge(const std::string&, const std::string& text, const std::optional<std::string>&) override {
        deviceBadges.push_back(text);
    }
    void setLinkBadge(const std::string&, const std::string& text, const std::string&) override {
        linkBadges.push_back(text);
    }
    void showConnectingOverlay(const std::string&) override { overlayShown = true; }
    bool isConnectingOverlayShown() const override { return overlayShown; }
    void updateConnectingOverlay(const VedevaveApp::OverlayContent& content) override { overlays.push_back(content); }
    void hideConnectingOverlay() override { overlayShown = false; }
    void updateHeader(const VedevaveApp::HeaderContent&) override {}
    void showFirstHints() override { ++hintsShown; }
    void focusVideoView() override {}
    void showDevicePicker() override { ++pickerShown; }

    bool sawChip(const std::string& text) const { return std::find(chips.begin(), chips.end(), text) != chips.end(); }

    std::vector<std::string> titles, chips, deviceBadges, linkBadges;
    std::vector<VedevaveApp::OverlayContent> overlays;
    bool overlayShown = false;
    bool chromeHidden = false;
    int hintsShown = 0;
    int pickerShown = 0;
};

class SessionFixture : public ::testing::Test {
protected:
    void SetUp() override {
        Platform::PreferenceStore::setShared(std::make_shared<Platform::MemoryPreferenceStore>());
        folder = std::filesystem::temp_directory_path() / ("vdv-session-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        Platform::Environment::set("VEDEVAVE_RSD_PATH", (folder / "rsd.json").string());
        Platform::Environment::set("VEDEVAVE_CAPTURE_DIR", (folder / "capture").string());
        Platform::Environment::set("VEDEVAVE_SIM_SOCKET_DIR", folder.string());
        Platform::Environment::set("VEDEVAVE_CAPTURE_FPS", "30");
        Platform::Environment::set("VEDEVAVE_SIM_SIZE", "390x844");
        // The simulated phone's hardware keyboard is US unless told otherwise.
        Platform::Environment::set("VEDEVAVE_KB_PHONE", "us");
        Platform::Environment::set("VEDEVAVE_ENGINE", TestSupport::binDirectory() + "/DaridiveVarara");
        enginePort = TestSupport::freePort();
        options.httpPort = enginePort - 1;
        options.retryPause = 100ms;
    }

    void TearDown() override {
        controller.reset();
        Runtime::mainContext().restart();
        Runtime::mainContext().poll();
        std::filesystem::remove_all(folder);
        Platform::PreferenceStore::setShared(nullptr);
    }

    VedevaveApp::SessionController& makeController() {
        controller = std::make_unique<VedevaveApp::SessionController>(options, control, window);
        return *controller;
    }

    // Runs the main executor until `done` holds or the timeout passes.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 20s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        auto& context = Runtime::mainContext();
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            context.restart();
            context.run_for(20ms);
        }
        return true;
    }

    // The engine's debug oracle.
    nlohmann::json debugState() {
        auto answer = TestSupport::httpGet(enginePort, "/debug/state");
        return nlohmann::json::parse(answer, nullptr, false);
    }

    bool isConnected() const {
        return controller && controller->connectionState().kind == VedevaveApp::ConnectionState::Kind::connected;
    }

    std::filesystem::path folder;
    int enginePort = 0;
    VedevaveApp::SessionController::Options options;
    ControlKit::ControlClient control{"http://127.0.0.1:8080"};
    RecordingWindow window;
    Platform::ManualPowerEvents power; // outlives the controller that observes it
    std::unique_ptr<VedevaveApp::SessionController> controller;
    const DeviceKit::DeviceInfo phone{"SIM-SESSION", "USB", "Test Phone", std::nullopt, std::nullopt};
};

} // namespace SessionTest
