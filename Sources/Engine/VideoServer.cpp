#include "Engine/VideoServer.h"

#include <algorithm>

namespace Engine {

VideoServer::VideoServer(asio::io_context& io, VideoChannelConfig config, FrameProducer& producer,
                         ChannelStats& stats)
    : io_(io), config_(std::move(config)),
      listener_(io, config_.socketPath), context_{.name = config_.name,
                                                  .stats = stats,
                                                  .producer = producer,
                                                  .slots = config_.slots,
                                                  .ringMode = config_.ringMode,
                                                  .nextRingPath = {},
                                                  .ticksPerKeepAlive = config_.ticksPerKeepAlive,
                                                  .warmer = config_.warmer} {
    context_.nextRingPath = [this] {
        return config_.ringPath ? config_.ringPath(++clientCounter_) : std::string();
    };
}

void VideoServer::start() {
    listener_.startAccepting([this](UnixListener::Socket socket) {
        auto session = std::make_shared<KwvsSession>(std::move(socket), context_);
        sessions_.push_back(session);
        ++context_.stats.clientsTotal;
        session->start();
    });
}

void VideoServer::stop() {
    listener_.close();
    for (const auto& session : sessions_) {
        session->close();
    }
    sessions_.clear();
    context_.stats.clientsConnected = 0;
}

void VideoServer::tick() {
    std::erase_if(sessions_, [](const auto& session) { return !session->isOpen(); });
    context_.stats.clientsConnected = sessions_.size();
    if (sessions_.empty()) {
        return;
    }
    if (isStalled_ && isStalled_()) {
        ++context_.stats.stalledTicks;
        return;
    }
    for (const auto& session : sessions_) {
        session->tick();
    }
}

} // namespace Engine
