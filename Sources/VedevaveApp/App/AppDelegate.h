// The application controller: owns every long-lived component, runs the start-up sequence once the
// event loop is running and the shut-down sequence before the process ends. Main executor only.
#pragma once

#include "VedevaveApp/App/AppArgs.h"
#include "VedevaveApp/App/DevicePicker.h"

#include <memory>

namespace VedevaveApp {

class AppDelegate {
public:
    explicit AppDelegate(AppArgs args);
    ~AppDelegate();

    const AppArgs& args() const { return args_; }
    double aspectRatio() const { return aspectRatio_; }
    // The port of the HTTP API and web studio: --web-port/--http-port when given, else
    // VEDEVAVE_API_PORT, else 8090.
    int apiPort() const { return apiPort_; }

    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    // Closing the main window ends the program.
    bool applicationShouldTerminateAfterLastWindowClosed() const { return true; }

    // The first-run flow without a window: the device picker lists phones as they come and go.
    void beginOnboardingFlow();
    void showDevicePicker();

private:
    void bootFromCommandLine();

    AppArgs args_;
    double aspectRatio_;
    int apiPort_;
    std::unique_ptr<DevicePicker> picker_;
    bool didTerminate_ = false;
};

} // namespace VedevaveApp
