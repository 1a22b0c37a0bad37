#include "Engine/KwvsSession.h"

#include "Engine/EngineClock.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>

namespace Engine {

KwvsSession::KwvsSession(Socket socket, ChannelContext& channel)
    : socket_(std::move(socket)), channel_(channel) {}

void KwvsSession::start() {
    asio::co_spawn(socket_.get_executor(), readLoop(shared_from_this()), asio::detached);
}

void KwvsSession::close() {
    if (closed_) {
        return;
    }
    closed_ = true;
    asio::error_code ignored;
    socket_.close(ignored);
    ring_.reset(); // unmaps; the client keeps its own mapping of the memfd, or its path mapping
}

// `self` keeps the session alive while the loop runs.
asio::awaitable<void> KwvsSession::readLoop([[maybe_unused]] std::shared_ptr<KwvsSession> self) {
    std::array<uint8_t, 4096> buffer{};
    std::vector<KwvsClientMessage> messages;
    while (!closed_) {
        asio::error_code ec;
        const size_t n = co_await socket_.async_read_some(asio::buffer(buffer),
                                                          asio::redirect_error(asio::use_awaitable, ec));
        if (ec) {
            break;
        }
        messages.clear();
        const bool ok = parser_.feed(std::span<const uint8_t>(buffer.data(), n), messages);
        for (const auto& message : messages) {
            if (std::holds_alternative<KwvsHello>(message)) {
                helloReceived_ = true;
                if (makeRing()) {
                    trySendBind(); // at once, so the client need not wait for the next tick
                }
            } else {
                handleAck(std::get<KwvsAck>(message));
            }
        }
        if (!ok) {
            std::fprintf(stderr, "DaridiveVarara: %s client closed: %s\n", channel_.name.c_str(),
                         parser_.failure().c_str());
            ++channel_.stats.protocolErrors;
            break;
        }
    }
    close();
}

void KwvsSession::handleAck(const KwvsAck& ack) {
    if (!ledger_) {
        ++channel_.stats.unknownAcks;
        return;
    }
    const auto released = ledger_->acknowledge(ack.seq);
    if (!released) {
        ++channel_.stats.unknownAcks;
        return;
    }
    ++channel_.stats.framesAcknowledged;
    const uint64_t now = monotonicRawNs();
    if (released->producedNs != 0 && now >= released->producedNs) {
        channel_.stats.ackLatency.add(static_cast<double>(now - released->producedNs) / 1e6);
    }
}

bool KwvsSession::makeRing() {
    const int width = channel_.producer.width();
    const int height = channel_.producer.height();
    try {
        const std::string path =
            channel_.ringMode == RingMode::path ? channel_.nextRingPath() : std::string();
        ring_ = FrameRing::create(width, height, channel_.slots, channel_.ringMode, path);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "DaridiveVarara: %s ring of %dx%d could not be made: %s\n",
                     channel_.name.c_str(), width, height, error.what());
        close();
        return false;
    }
    ledger_.emplace(channel_.slots);
    const uint64_t generation = ++ringGeneration_;
    if (channel_.warmer != nullptr) {
        for (int slot = 0; slot < channel_.slots; ++slot) {
            ledger_->setWarming(slot);
            channel_.warmer->warm(ring_, slot, [weak = weak_from_this(), generation, slot] {
                const auto self = weak.lock();
                if (self && self->ringGeneration_ == generation && self->ledger_) {
                    self->ledger_->setWarm(slot);
                }
            });
        }
    }
    bindPending_ = true;
    lastSentVersion_ = 0;
    ticksSinceSend_ = 0;
    return true;
}

bool KwvsSession::trySendBind() {
    if (!bindPending_ || closed_) {
        return !bindPending_;
    }
    if (writeInProgress_ || !outbox_.empty()) {
        return false; // keep the stream in order: the bind follows what is already queued
    }
    const std::string bytes = encodeKwvsBind(ring_->bindInfo());
    if (ring_->mode() == RingMode::path) {
        send(bytes);
    } else {
        // The descriptor rides on the kind byte; the application reads that byte with recvmsg.
        iovec io{const_cast<char*>(bytes.data()), bytes.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        const int fd = ring_->descriptor();
        std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
        const ssize_t sent = ::sendmsg(socket_.native_handle(), &message, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                return false;
            }
            close();
            return false;
        }
        if (static_cast<size_t>(sent) < bytes.size()) {
            send(bytes.substr(static_cast<size_t>(sent)));
        }
    }
    bindPending_ = false;
    ++channel_.stats.binds;
    return true;
}

void KwvsSession::tick() {
    if (closed_ || !helloReceived_) {
        return;
    }
    const FrameView frame = channel_.producer.current();
    if (!ring_ || ring_->width() != frame.width || ring_->height() != frame.height) {
        if (!makeRing()) {
            return; // a new size (the next issue's landscape) gets a fresh ring and a second bind
        }
    }
    if (!trySendBind()) {
        return;
    }
    ++ticksSinceSend_;
    const bool changed = frame.version != lastSentVersion_;
    if (!changed && ticksSinceSend_ < channel_.ticksPerKeepAlive) {
        return;
    }
    const auto grant = ledger_->acquire(frame.version);
    if (!grant) {
        if (ledger_->warmSlots() > 0) {
            ++channel_.stats.framesSkipped; // every usable slot waits for an acknowledgement
        }
        return;
    }
    if (grant->needsPixels) {
        ring_->writeSlot(grant->slot, frame.pixels, frame.bytesPerRow);
        ++channel_.stats.slotWrites;
    }
    const uint32_t seq = nextSeq_++;
    const uint64_t producedNs = monotonicRawNs();
    ledger_->markSent(grant->slot, frame.version, seq, producedNs);
    send(encodeKwvsFrame(seq, static_cast<uint16_t>(grant->slot), producedNs));
    ++channel_.stats.framesSent;
    lastSentVersion_ = frame.version;
    ticksSinceSend_ = 0;
}

void KwvsSession::send(std::string bytes) {
    outbox_ += bytes;
    flush();
}

void KwvsSession::flush() {
    if (writeInProgress_ || outbox_.empty() || closed_) {
        return;
    }
    writeInProgress_ = true;
    writing_.swap(outbox_);
    outbox_.clear();
    asio::async_write(socket_, asio::buffer(writing_),
                      [self = shared_from_this()](asio::error_code ec, size_t) {
                          self->writeInProgress_ = false;
                          self->writing_.clear();
                          if (ec) {
                              self->close();
                              return;
                          }
                          self->flush();
                      });
}

} // namespace Engine
