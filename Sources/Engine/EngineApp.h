// The whole engine wired in one place: it owns the io context and every component, starts them in
// order, runs the loop on the calling thread, and shuts them down in one function. Every
// component runs on that one thread (the io thread); the only other thread is RingWarmer's, which
// touches new ring slots and posts back when done.
#pragma once

#include "Engine/CaptureChannel.h"
#include "Engine/ControlRoutes.h"
#include "Engine/DebugRoutes.h"
#include "Engine/DebugState.h"
#include "Engine/EngineOptions.h"
#include "Engine/Faults.h"
#include "Engine/FrameClock.h"
#include "Engine/FrameProducer.h"
#include "Engine/HidServer.h"
#include "Engine/HttpServer.h"
#include "Engine/InputDispatcher.h"
#include "Engine/PhoneModel.h"
#include "Engine/RingWarmer.h"
#include "Engine/Router.h"
#include "Engine/VideoServer.h"

#include <asio.hpp>
#include <memory>

namespace Engine {

// Exit statuses of the process.
namespace ExitStatus {
inline constexpr int clean = 0;
inline constexpr int badArguments = 2;
inline constexpr int startFailed = 3;
} // namespace ExitStatus

class EngineApp {
public:
    explicit EngineApp(EngineOptions options);
    ~EngineApp();

    // Starts every endpoint, then runs until a terminate signal; returns the exit status.
    int run();

private:
    // Binds the port and sockets and publishes them; prints why and returns false on failure.
    bool start();
    void shutdown();
    // Closes the HID, video and capture sockets (and their clients) and removes their files.
    void closeEndpoints();
    void publishMetadata();
    void scheduleExit(int64_t delayMs, int status);
    void onTick();

    // Declared first so it is destroyed last, after every component that holds its objects.
    asio::io_context io_;
    // Posts to io_; destroyed (joined) before it.
    RingWarmer warmer_;
    EngineOptions options_;
    Faults faults_;
    PhoneModel model_;
    DebugState debug_;
    InputDispatcher dispatcher_;
    FrameProducer producer_;
    Router router_;
    ControlRoutes controlRoutes_;
    DebugRoutes debugRoutes_;
    HttpServer http_;
    std::unique_ptr<HidServer> hid_;
    std::unique_ptr<VideoServer> video_;
    std::unique_ptr<CaptureChannel> capture_;
    FrameClock clock_;
    asio::signal_set signals_;
    asio::steady_timer metadataTimer_;
    asio::steady_timer exitTimer_;
    bool started_ = false;
    bool stopping_ = false;
};

} // namespace Engine
