// Touches the pages of new ring slots on a background thread ("engine.ring-warm") before they are
// used. Measured here: the first write to each page of fresh shared memory costs ~12 µs, so the
// first frame written into a 1170x2532 slot took ~50 ms — on the io thread, right when a tap had
// changed the screen. Sessions hand each slot of a new ring to the warmer and use it only once
// `onReady` has run (SlotLedger keeps warming slots out of circulation).
//
// warm() and stop() are called on the io thread; the worker only writes to slots no one else
// touches until their onReady, which it posts back to the io thread.
#pragma once

#include "Engine/FrameRing.h"

#include <asio.hpp>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace Engine {

class RingWarmer {
public:
    explicit RingWarmer(asio::io_context& io);
    ~RingWarmer();
    RingWarmer(const RingWarmer&) = delete;
    RingWarmer& operator=(const RingWarmer&) = delete;

    // Queues slot `slot` of `ring`; `onReady` runs on the io thread once its pages are touched.
    // The ring stays alive until then, even if its session closes.
    void warm(std::shared_ptr<FrameRing> ring, int slot, std::function<void()> onReady);
    // Drops queued work and joins the worker. Safe to call repeatedly.
    void stop();

private:
    struct Job {
        std::shared_ptr<FrameRing> ring;
        int slot = 0;
        std::function<void()> onReady;
    };
    void run();

    asio::io_context& io_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;  // guarded by lock_
    bool stopping_ = false; // guarded by lock_
    std::thread worker_;
};

} // namespace Engine
