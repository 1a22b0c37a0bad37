// The multi-step phone gestures several clients share: going home, opening Spotlight, clearing a
// text field and opening an app by name through Spotlight. Each is a fixed sequence of steps and
// pauses at fixed screen positions, run through the workflow player with fixed pacing.
//
// The plain variants (HTTP control endpoints, batches) ignore every failure and always run to the
// end; their pauses end early, without an error, when the calling task is cancelled. The
// cancellable variants (the agent) stop at the first cancellation and throw it.
//
// Meant for the main executor, where the route table and the agent run; the steps hop there through
// the player in any case. Nothing here serializes two macros; callers that need the phone to
// themselves take the device action gate.
#pragma once

#include "ControlKit/ControlClientInterface.h"
#include "VedevaveApp/Input/TouchMap.h"
#include "VedevaveApp/Workflows/WorkflowPlayer.h"
#include "VedevaveApp/Workflows/WorkflowStep.h"

#include <asio/awaitable.hpp>
#include <cstdint>
#include <string>

namespace VedevaveApp::LocalAPIMacros {

// HID usages the macros send.
inline constexpr uint16_t usageReturn = 0x28;
inline constexpr uint16_t usageBackspace = 0x2A;
inline constexpr uint16_t usageClear = 0x9C;

// At most this many backspaces, whatever a caller asks for.
inline constexpr int maximumBackspaces = 20;
inline constexpr int openAppBackspaces = 12;

// The fixed taps: the home screen's search pill, the top search hit, the keyboard's open button and
// the Done button of the icon-editing mode.
const WorkflowStep& searchPill();
const WorkflowStep& topHit();
const WorkflowStep& openButton();
const WorkflowStep& jiggleDone();

// Every macro takes the player it runs its steps through; the shared one unless a test injects its
// own clock. `control` and `player` must outlive the macro.
asio::awaitable<void> goHome(ControlKit::ControlClientInterface& control, TouchMap::Mode mode,
                             WorkflowPlayer& player = WorkflowPlayer::shared());
asio::awaitable<void> goHomeCancellable(ControlKit::ControlClientInterface& control, TouchMap::Mode mode,
                                        WorkflowPlayer& player = WorkflowPlayer::shared());
asio::awaitable<void> openSpotlight(ControlKit::ControlClientInterface& control, TouchMap::Mode mode,
                                    bool goHomeFirst, WorkflowPlayer& player = WorkflowPlayer::shared());
// Clear, then `backspaces` clamped to 0 to 20 backspaces.
asio::awaitable<void> clearField(ControlKit::ControlClientInterface& control, int backspaces,
                                 WorkflowPlayer& player = WorkflowPlayer::shared());
// `name` as it should be typed into Spotlight; a name of only blanks does nothing.
asio::awaitable<void> openApp(std::string name, ControlKit::ControlClientInterface& control,
                              TouchMap::Mode mode, WorkflowPlayer& player = WorkflowPlayer::shared());
asio::awaitable<void> openAppCancellable(std::string name, ControlKit::ControlClientInterface& control,
                                         TouchMap::Mode mode,
                                         WorkflowPlayer& player = WorkflowPlayer::shared());
// Returns at once below 1 ms; a cancelled pause returns early without an error.
asio::awaitable<void> sleepMs(int64_t ms, WorkflowPlayer& player = WorkflowPlayer::shared());

} // namespace VedevaveApp::LocalAPIMacros
