#include "VedevaveApp/LocalAPI/LocalAPIMacros.h"

#include "VedevaveApp/Workflows/WorkflowText.h"

#include <algorithm>

namespace VedevaveApp::LocalAPIMacros {

namespace {

using std::chrono::milliseconds;

// The home gesture: a swipe up from the bottom edge, twice, around a press of the home button.
constexpr double homeSwipeStartY = 0.98;
constexpr double firstHomeSwipeEndY = 0.35;
constexpr int64_t firstHomeSwipeMs = 420;
constexpr double secondHomeSwipeEndY = 0.4;
constexpr int64_t secondHomeSwipeMs = 380;

// Pauses that let the phone's animations finish, in milliseconds.
constexpr int64_t afterJiggleDoneMs = 150;
constexpr int64_t afterFirstHomeSwipeMs = 550;
constexpr int64_t afterHomeButtonMs = 450;
constexpr int64_t afterSecondHomeSwipeMs = 800;
constexpr int64_t afterSearchPillMs = 1200;
constexpr int64_t afterKeyboardResetMs = 50;
constexpr int64_t clearKeyHoldMs = 45;
constexpr int64_t afterClearKeyMs = 120;
constexpr int64_t backspaceHoldMs = 40;
constexpr int64_t afterBackspaceMs = 40;
constexpr int64_t afterClearingMs = 180;
constexpr int64_t afterTypingMs = 1500;
constexpr int64_t afterTopHitMs = 900;
constexpr int64_t afterOpenButtonMs = 350;
constexpr int64_t afterReturnMs = 900;

const WorkflowStep& firstHomeSwipe() {
    static const WorkflowStep step =
        WorkflowStep::swipe(0.5, homeSwipeStartY, 0.5, firstHomeSwipeEndY, firstHomeSwipeMs);
    return step;
}

const WorkflowStep& secondHomeSwipe() {
    static const WorkflowStep step =
        WorkflowStep::swipe(0.5, homeSwipeStartY, 0.5, secondHomeSwipeEndY, secondHomeSwipeMs);
    return step;
}

const WorkflowStep& homeButton() {
    static const WorkflowStep step = WorkflowStep::button("home");
    return step;
}

const WorkflowStep& clearKey() {
    static const WorkflowStep step = WorkflowStep::key(usageClear, 0);
    return step;
}

const WorkflowStep& backspaceKey() {
    static const WorkflowStep step = WorkflowStep::key(usageBackspace, 0);
    return step;
}

const WorkflowStep& returnKey() {
    static const WorkflowStep step = WorkflowStep::key(usageReturn, 0);
    return step;
}

// A plain macro's step: whatever goes wrong, the sequence goes on.
// Steps are passed by reference to long-lived constants: no temporaries around the awaits.
asio::awaitable<void> runIgnoringFailure(WorkflowPlayer& player, const WorkflowStep& step,
                                         ControlKit::ControlClientInterface& control, TouchMap::Mode mode) {
    try {
        auto work = player.run(step, control, mode, false, std::nullopt);
        co_await std::move(work);
    } catch (...) {
    }
}

asio::awaitable<void> runCancellable(WorkflowPlayer& player, const WorkflowStep& step,
                                     ControlKit::ControlClientInterface& control, TouchMap::Mode mode) {
    auto work = player.run(step, control, mode, true, std::nullopt);
    co_await std::move(work);
}

asio::awaitable<void> pauseCancellable(WorkflowPlayer& player, int64_t ms) {
    auto waiting = player.pause(milliseconds(ms), true);
    co_await std::move(waiting);
}

asio::awaitable<void> pressPlainKey(WorkflowPlayer& player, ControlKit::ControlClientInterface& control,
                                    uint16_t usage, int64_t holdMs, int64_t afterMs) {
    control.key(true, usage, "", 0);
    co_await sleepMs(holdMs, player);
    control.key(false, usage, "", 0);
    co_await sleepMs(afterMs, player);
}

} // namespace

const WorkflowStep& searchPill() {
    static const WorkflowStep step = WorkflowStep::tap(0.5, 0.82);
    return step;
}

const WorkflowStep& topHit() {
    static const WorkflowStep step = WorkflowStep::tap(0.18, 0.18);
    return step;
}

const WorkflowStep& openButton() {
    static const WorkflowStep step = WorkflowStep::tap(0.78, 0.90);
    return step;
}

const WorkflowStep& jiggleDone() {
    static const WorkflowStep step = WorkflowStep::tap(0.92, 0.07);
    return step;
}

asio::awaitable<void> sleepMs(int64_t ms, WorkflowPlayer& player) {
    if (ms < 1) {
        co_return;
    }
    auto waiting = player.pause(milliseconds(ms), false);
    co_await std::move(waiting);
}

asio::awaitable<void> goHome(ControlKit::ControlClientInterface& control, TouchMap::Mode mode,
                             WorkflowPlayer& player) {
    co_await runIgnoringFailure(player, jiggleDone(), control, mode);
    co_await sleepMs(afterJiggleDoneMs, player);
    co_await runIgnoringFailure(player, firstHomeSwipe(), control, mode);
    co_await sleepMs(afterFirstHomeSwipeMs, player);
    co_await runIgnoringFailure(player, homeButton(), control, mode);
    co_await sleepMs(afterHomeButtonMs, player);
    co_await runIgnoringFailure(player, secondHomeSwipe(), control, mode);
    co_await sleepMs(afterSecondHomeSwipeMs, player);
}

asio::awaitable<void> goHomeCancellable(ControlKit::ControlClientInterface& control, TouchMap::Mode mode,
                                        WorkflowPlayer& player) {
    co_await runCancellable(player, jiggleDone(), control, mode);
    co_await pauseCancellable(player, afterJiggleDoneMs);
    co_await runCancellable(player, firstHomeSwipe(), control, mode);
    co_await pauseCancellable(player, afterFirstHomeSwipeMs);
    co_await runCancellable(player, homeButton(), control, mode);
    co_await pauseCancellable(player, afterHomeButtonMs);
    co_await runCancellable(player, secondHomeSwipe(), control, mode);
    co_await pauseCancellable(player, afterSecondHomeSwipeMs);
}

asio::awaitable<void> openSpotlight(ControlKit::ControlClientInterface& control, TouchMap::Mode mode,
                                    bool goHomeFirst, WorkflowPlayer& player) {
    if (goHomeFirst) {
        co_await goHome(control, mode, player);
    }
    co_await runIgnoringFailure(player, searchPill(), control, mode);
    co_await sleepMs(afterSearchPillMs, player);
}

asio::awaitable<void> clearField(ControlKit::ControlClientInterface& control, int backspaces,
                                 WorkflowPlayer& player) {
    control.keyboardReset();
    co_await sleepMs(afterKeyboardResetMs, player);
    co_await pressPlainKey(player, control, usageClear, clearKeyHoldMs, afterClearKeyMs);
    const int count = std::clamp(backspaces, 0, maximumBackspaces);
    for (int i = 0; i < count; ++i) {
        co_await pressPlainKey(player, control, usageBackspace, backspaceHoldMs, afterBackspaceMs);
    }
    co_await sleepMs(afterClearingMs, player);
}

asio::awaitable<void> openApp(std::string name, ControlKit::ControlClientInterface& control,
                              TouchMap::Mode mode, WorkflowPlayer& player) {
    const std::string appName = WorkflowText::trimmed(name);
    if (appName.empty()) {
        co_return;
    }
    co_await openSpotlight(control, mode, true, player);
    co_await clearField(control, openAppBackspaces, player);
    try {
        auto typing = player.runType(appName, control, false, false);
        co_await std::move(typing);
    } catch (...) {
    }
    co_await sleepMs(afterTypingMs, player);
    co_await runIgnoringFailure(player, topHit(), control, mode);
    co_await sleepMs(afterTopHitMs, player);
    co_await runIgnoringFailure(player, openButton(), control, mode);
    co_await sleepMs(afterOpenButtonMs, player);
    co_await runIgnoringFailure(player, returnKey(), control, mode);
    co_await sleepMs(afterReturnMs, player);
}

asio::awaitable<void> openAppCancellable(std::string name, ControlKit::ControlClientInterface& control,
                                         TouchMap::Mode mode, WorkflowPlayer& player) {
    const std::string appName = WorkflowText::trimmed(name);
    if (appName.empty()) {
        co_return;
    }
    co_await goHomeCancellable(control, mode, player);
    co_await runCancellable(player, searchPill(), control, mode);
    co_await pauseCancellable(player, afterSearchPillMs);
    control.keyboardReset();
    co_await pauseCancellable(player, afterKeyboardResetMs);
    co_await runCancellable(player, clearKey(), control, mode);
    // Enough backspaces for a longer query left in the field, never fewer than the plain macro's.
    const auto backspaces =
        std::clamp<std::size_t>(WorkflowText::characterCount(appName), openAppBackspaces, maximumBackspaces);
    for (std::size_t i = 0; i < backspaces; ++i) {
        co_await runCancellable(player, backspaceKey(), control, mode);
    }
    auto typing = player.runType(appName, control, false, true);
    co_await std::move(typing);
    co_await pauseCancellable(player, afterTypingMs);
    co_await runCancellable(player, topHit(), control, mode);
    co_await pauseCancellable(player, afterTopHitMs);
    co_await runCancellable(player, openButton(), control, mode);
    co_await pauseCancellable(player, afterOpenButtonMs);
    co_await runCancellable(player, returnKey(), control, mode);
    co_await pauseCancellable(player, afterReturnMs);
}

} // namespace VedevaveApp::LocalAPIMacros
