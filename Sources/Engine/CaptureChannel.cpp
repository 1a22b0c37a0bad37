#include "Engine/CaptureChannel.h"

#include "Engine/MetadataWriter.h"

#include <filesystem>
#include <stdexcept>

namespace Engine {

CaptureChannel::CaptureChannel(asio::io_context& io, const Settings& settings, FrameProducer& producer,
                               ChannelStats& stats, const Faults& faults)
    : settings_(settings) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(settings.socketPath).parent_path(), ec);
    VideoChannelConfig config;
    config.name = "capture";
    config.socketPath = settings.socketPath;
    config.slots = settings.slots;
    config.warmer = settings.warmer;
    config.ticksPerKeepAlive =
        std::max(1, (settings.fps + settings.keepAliveFps - 1) / settings.keepAliveFps);
    server_ = std::make_unique<VideoServer>(io, config, producer, stats);
    server_->setStallCheck([&faults] { return faults.isCaptureStalled(Faults::Clock::now()); });
    // The sidecar goes last: a watcher that sees it can connect at once.
    const std::string error =
        MetadataWriter::writeAtomically(settings.sidecarPath, {{"localizedName", settings.deviceName},
                                                               {"hasVideo", true},
                                                               {"hasMuxed", true},
                                                               {"uniqueID", settings.udid},
                                                               {"protocol", "KWVS/3"}});
    if (!error.empty()) {
        server_->stop();
        throw std::runtime_error(error);
    }
}

CaptureChannel::~CaptureChannel() {
    stop();
}

void CaptureChannel::stop() {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    std::error_code ec;
    std::filesystem::remove(settings_.sidecarPath, ec);
    server_->stop();
}

} // namespace Engine
