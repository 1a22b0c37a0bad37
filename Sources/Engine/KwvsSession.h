// One KWVS/3 client of a video channel (engine side). After the client's hello it
// gets its own FrameRing and a bind (descriptor via SCM_RIGHTS, or path), then one frame notice per
// due tick. A notice goes out only into a slot whose previous notice was acknowledged (SlotLedger);
// when none is free the frame is skipped and counted. Io thread only.
#pragma once

#include "Engine/DebugState.h"
#include "Engine/FrameProducer.h"
#include "Engine/FrameRing.h"
#include "Engine/KwvsProtocol.h"
#include "Engine/RingWarmer.h"
#include "Engine/SlotLedger.h"

#include <asio.hpp>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace Engine {

// What the sessions of one channel share. Owned by the VideoServer.
struct ChannelContext {
    std::string name; // "video" or "capture", for log lines
    ChannelStats& stats;
    FrameProducer& producer;
    int slots = 4;
    RingMode ringMode = RingMode::descriptor;
    std::function<std::string()> nextRingPath; // path mode: a fresh file path per ring
    int ticksPerKeepAlive = 1;    // an unchanged picture is announced again every this many ticks
    RingWarmer* warmer = nullptr; // touches new slots off the io thread; none: slots are used at once
};

class KwvsSession : public std::enable_shared_from_this<KwvsSession> {
public:
    using Socket = asio::local::stream_protocol::socket;

    KwvsSession(Socket socket, ChannelContext& channel);

    // Starts reading the client's messages.
    void start();
    // One tick of the channel's frame clock: bind if needed, then announce a frame if one is due.
    void tick();
    void close();
    bool isOpen() const { return !closed_; }

private:
    asio::awaitable<void> readLoop(std::shared_ptr<KwvsSession> self);
    void handleAck(const KwvsAck& ack);
    // Makes a ring of the producer's current size; false (and closes) when memory is refused.
    bool makeRing();
    // Sends the pending bind once nothing else is queued; false to retry on the next tick.
    bool trySendBind();
    void send(std::string bytes);
    void flush();

    Socket socket_;
    ChannelContext& channel_;
    KwvsClientParser parser_;
    std::shared_ptr<FrameRing> ring_; // shared with the RingWarmer while it touches the slots
    uint64_t ringGeneration_ = 0;     // which ring a warmer's completion belongs to
    std::optional<SlotLedger> ledger_;
    bool helloReceived_ = false;
    bool bindPending_ = false;
    bool closed_ = false;
    uint32_t nextSeq_ = 1;
    uint64_t lastSentVersion_ = 0;
    int ticksSinceSend_ = 0;
    std::string outbox_;  // bytes waiting for the write in progress to finish
    std::string writing_; // bytes of the write in progress
    bool writeInProgress_ = false;
};

} // namespace Engine
