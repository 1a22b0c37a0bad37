// The simulated screen-capture device (ARCHITECTURE.md): publishes <dir>/<udid>.sock, a KWVS/3
// channel like the video socket, and the sidecar <dir>/<udid>.json that the application's
// simulator capture backend lists and watches. Frames follow the frame clock while the screen
// changes and repeat at the keep-alive rate (at least 5 per second) while it is static. The
// capture stall fault silences it. Io thread only.
#pragma once

#include "Engine/Faults.h"
#include "Engine/VideoServer.h"

#include <memory>
#include <string>

namespace Engine {

class CaptureChannel {
public:
    struct Settings {
        std::string socketPath;
        std::string sidecarPath;
        std::string deviceName; // the sidecar's "localizedName"
        std::string udid;
        int fps = 60;
        int keepAliveFps = 10;
        int slots = 4;
        RingWarmer* warmer = nullptr;
    };

    // Binds the socket (creating the folder) and writes the sidecar; throws on failure.
    CaptureChannel(asio::io_context& io, const Settings& settings, FrameProducer& producer,
                   ChannelStats& stats, const Faults& faults);
    ~CaptureChannel();

    void start() { server_->start(); }
    void tick() { server_->tick(); }
    // Closes the clients, removes the socket and the sidecar: the device disappears.
    void stop();

    const std::string& socketPath() const { return server_->socketPath(); }
    const std::string& sidecarPath() const { return settings_.sidecarPath; }

private:
    Settings settings_;
    std::unique_ptr<VideoServer> server_;
    bool stopped_ = false;
};

} // namespace Engine
