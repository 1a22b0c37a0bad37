// The engine's launch contract: command-line arguments and the VEDEVAVE_*
// environment, parsed once at start-up into one value. Pure: the environment comes in through a
// lookup function so tests can hand in their own.
#pragma once

#include "Engine/Faults.h"
#include "Engine/FrameRing.h"
#include "Engine/PhoneModel.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Engine {

struct EngineOptions {
    // Arguments.
    std::string udid;
    std::string transport = "usb"; // "usb" or "wifi"
    int httpPort = 0;

    // Paths (ARCHITECTURE.md: the simulator's additions to the contract).
    std::string rsdPath = "/tmp/vedevave_rsd.json"; // VEDEVAVE_RSD_PATH
    std::string captureDir;         // VEDEVAVE_CAPTURE_DIR, else $XDG_RUNTIME_DIR/vedevave-capture, else
                                    // /tmp/vedevave-capture
    std::string socketDir = "/tmp"; // VEDEVAVE_SIM_SOCKET_DIR
    std::string clipboardFile;      // VEDEVAVE_CLIPBOARD_FILE (also in phone.clipboardFile)

    // Pictures and pacing.
    int width = 1170; // VEDEVAVE_SIM_SIZE=WxH
    int height = 2532;
    int fps = 60; // VEDEVAVE_CAPTURE_FPS, 1..120
    int captureKeepAliveFps =
        10;            // VEDEVAVE_SIM_KEEPALIVE_FPS: static screens on the capture channel, at least 5
    int ringSlots = 4; // VEDEVAVE_SIM_RING_SLOTS, 2..16
    RingMode ringMode = RingMode::descriptor;    // VEDEVAVE_SIM_RING=path selects the path branch
    bool captureEnabled = true;                  // VEDEVAVE_SIM_CAPTURE=0 turns the capture channel off
    std::string deviceName = "Simulated iPhone"; // VEDEVAVE_SIM_NAME, the capture device's localizedName

    // Settings the application exports and launch variables, kept for the debug report; the
    // landscape ones also turn touches in landscape (phone.landscapeHome).
    std::string keyboardPhone;           // VEDEVAVE_KB_PHONE
    std::string landscape;               // VEDEVAVE_LANDSCAPE
    std::string hidOrient;               // VEDEVAVE_HID_ORIENT
    std::string push = "rgba";           // VEDEVAVE_PUSH
    std::string rctl = "1";              // VEDEVAVE_RCTL
    std::string native;                  // VEDEVAVE_NATIVE
    std::string videoTransport = "unix"; // VEDEVAVE_VIDEO_TRANSPORT

    FaultSettings faults; // VEDEVAVE_SIM_* fault switches
    // The virtual phone: VEDEVAVE_SIM_KEYBOARD (us, fr, de), VEDEVAVE_SIM_CLOCK (HH:MM, frozen),
    // VEDEVAVE_SIM_LOCKED, the clipboard file and the landscape home side.
    PhoneSettings phone;

    std::string hidSocketPath() const;
    std::string videoSocketPath() const;
    std::string ringFilePath(int client) const; // path mode only
    std::string captureSocketPath() const;
    std::string captureSidecarPath() const;
};

struct EngineOptionsResult {
    std::optional<EngineOptions> options;
    std::string error; // set when options is absent and help was not asked for
    bool wantsHelp = false;
};

using EnvironmentLookup = std::function<std::optional<std::string>(const std::string& name)>;

// `arguments` excludes the program name.
EngineOptionsResult parseEngineOptions(const std::vector<std::string>& arguments,
                                       const EnvironmentLookup& environment);

EnvironmentLookup processEnvironment();

extern const char* const engineUsageText;

} // namespace Engine
