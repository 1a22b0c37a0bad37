// The application controller: owns every long-lived component, runs the start-up sequence once the
// event loop is running and the shut-down sequence before the process ends. Main executor only.
#pragma once

#include "ControlKit/ControlClient.h"
#include "DeviceKit/SimulatedUsbmuxServer.h"
#include "Platform/PowerEvents.h"
#include "VedevaveApp/App/AppArgs.h"
#include "VedevaveApp/App/DeviceActionGate.h"
#include "VedevaveApp/App/DevicePicker.h"
#include "VedevaveApp/App/HeadlessWindowPort.h"
#include "VedevaveApp/App/SessionController.h"
#include "VedevaveApp/LocalAPI/LocalAPIRoutes.h"
#include "VedevaveApp/LocalAPI/LocalAPIWorkflowEndpoints.h"
#include "VedevaveApp/Workflows/HeadlessWorkflowSidebarPort.h"
#include "VedevaveApp/Workflows/WorkflowSidebarController.h"

#include <memory>

namespace VedevaveApp {

class AppDelegate {
public:
    static constexpr const char* provisionalControlURL = "http://127.0.0.1:8080";

    explicit AppDelegate(AppArgs args);
    ~AppDelegate();

    const AppArgs& args() const { return args_; }
    double aspectRatio() const { return aspectRatio_; }
    // The port of the HTTP API and web studio: --web-port/--http-port when given, else
    // VEDEVAVE_API_PORT, else 8090.
    int apiPort() const { return apiPort_; }
    ControlKit::ControlClient& controlClient() { return control_; }
    DeviceActionGate& gate() { return gate_; }
    SessionController& sessions() { return *sessions_; }
    WorkflowSidebarController& workflowSidebar() { return *sidebar_; }

    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    // Closing the main window ends the program.
    bool applicationShouldTerminateAfterLastWindowClosed() const { return true; }

    // Without a window there is no permission to ask for and no checklist to read: the picker
    // lists phones and boots the first one that appears.
    void beginOnboardingFlow();
    void showDevicePicker();

    // Wires the local API's hooks to this controller and starts it on `apiPort()`; a second call on
    // the same port changes nothing.
    void startLocalAPI();
    // The status object of GET /v1/status.
    nlohmann::json statusObject() const;

private:
    void bootFromCommandLine(std::optional<std::string> udid);
    void startSimulatedDaemon();

    AppArgs args_;
    double aspectRatio_;
    int apiPort_;
    ControlKit::ControlClient control_{provisionalControlURL};
    DeviceActionGate gate_;
    HeadlessWindowPort window_;
    std::unique_ptr<SessionController> sessions_;
    std::unique_ptr<Platform::PowerEvents> powerEvents_;
    std::unique_ptr<DeviceKit::SimulatedUsbmuxServer> simulatedDaemon_;
    std::unique_ptr<DevicePicker> picker_;
    HeadlessWorkflowSidebarPort sidebarPort_;
    std::unique_ptr<WorkflowSidebarController> sidebar_;
    std::unique_ptr<LocalAPIWorkflowEndpoints> workflowEndpoints_;
    std::unique_ptr<LocalAPIRoutes> routes_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool didTerminate_ = false;
};

} // namespace VedevaveApp
