// A KWVS/3 channel: a Unix-domain socket whose clients each get a KwvsSession. The engine runs two
// of them, the video socket named in the metadata file and the screen-capture device channel; they
// differ only in their ChannelContext (keep-alive rate, stats) and the stall check. Io thread only.
#pragma once

#include "Engine/KwvsSession.h"
#include "Engine/UnixListener.h"

#include <asio.hpp>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Engine {

struct VideoChannelConfig {
    std::string name; // "video" or "capture"
    std::string socketPath;
    int slots = 4;
    RingMode ringMode = RingMode::descriptor;
    std::function<std::string(int client)> ringPath; // path mode
    int ticksPerKeepAlive = 1;
    RingWarmer* warmer = nullptr;
};

class VideoServer {
public:
    // Binds the socket; throws like UnixListener.
    VideoServer(asio::io_context& io, VideoChannelConfig config, FrameProducer& producer,
                ChannelStats& stats);

    void start();
    void stop();
    // A tick of the frame clock. While `isStalled` says so, nothing is sent (the stall fault).
    void tick();
    void setStallCheck(std::function<bool()> isStalled) { isStalled_ = std::move(isStalled); }

    const std::string& socketPath() const { return listener_.path(); }

private:
    asio::io_context& io_;
    VideoChannelConfig config_;
    UnixListener listener_;
    ChannelContext context_;
    std::vector<std::shared_ptr<KwvsSession>> sessions_;
    std::function<bool()> isStalled_;
    int clientCounter_ = 0;
};

} // namespace Engine
