#include "VedevaveApp/App/AppDelegate.h"

#include "ControlKit/VedevaveSettings.h"
#include "DeviceKit/Usbmux.h"
#include "Platform/Environment.h"
#include "Platform/Workspace.h"
#include "Runtime/Executors.h"
#include "Runtime/Log.h"

#include <asio/post.hpp>

#include <charconv>
#include <cstdio>

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

AppDelegate::AppDelegate(AppArgs args) : args_(std::move(args)), aspectRatio_(args_.initialAspectRatio()) {
    auto choice = args_.validatedHttpPort();
    if (choice.warning) {
        Runtime::logLine(*choice.warning);
    }
    args_.httpPort = choice.port;
    apiPort_ = args_.didSetHttpPort && !choice.warning ? choice.port : apiPortFromEnvironment();
}

AppDelegate::~AppDelegate() { applicationWillTerminate(); }

void AppDelegate::applicationDidFinishLaunching() {
    // First of all: engines started later inherit the effective settings through the environment.
    ControlKit::VedevaveSettings::applyToEnvironment();

    if (args_.web) {
        const std::string address = "http://127.0.0.1:" + std::to_string(apiPort_) + "/web";
        std::printf("==> Web Mirror Studio active at %s\n", address.c_str());
        std::fflush(stdout);
        if (args_.openWeb) {
            Platform::Workspace::openURL(address);
        }
    }

    if (args_.udid) {
        bootFromCommandLine();
    } else {
        beginOnboardingFlow();
    }
}

void AppDelegate::bootFromCommandLine() {
    // Discovery blocks for one daemon exchange: keep it off the main executor.
    const std::string udid = *args_.udid;
    asio::post(Runtime::backgroundPool(), [udid] {
        try {
            DeviceKit::DeviceInfo device = DeviceKit::Usbmux::pick(udid);
            Runtime::postToMain([device] {
                Runtime::logLine("Vedevave: found " + device.displayTitle() + " udid=" + device.udid);
            });
        } catch (const DeviceKit::DeviceKitError& error) {
            const std::string text = error.description();
            Runtime::postToMain([text] {
                Runtime::logLine("Vedevave: boot failed: " + text);
                std::fprintf(stderr, "boot failed: %s\n", text.c_str());
            });
        }
    });
}

void AppDelegate::beginOnboardingFlow() {
    // Without a window there is no permission to ask for and no checklist to read.
    showDevicePicker();
}

void AppDelegate::showDevicePicker() {
    if (picker_) {
        picker_->stop();
    }
    picker_ = std::make_unique<DevicePicker>(Runtime::mainExecutor(), [] { return DeviceKit::Usbmux::usbDevices(); },
                                             logDevices);
    picker_->start();
}

void AppDelegate::applicationWillTerminate() {
    if (didTerminate_) {
        return;
    }
    didTerminate_ = true;
    // The order matters once every component exists: playback lets go of the phone before the
    // server stops taking requests, and the engine goes before the readers that watch it.
    if (picker_) {
        picker_->stop();
    }
    Runtime::logLine("Vedevave: shut down");
}

} // namespace VedevaveApp
