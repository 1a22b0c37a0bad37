#include "Engine/RingWarmer.h"

#include <pthread.h>

namespace Engine {

RingWarmer::RingWarmer(asio::io_context& io) : io_(io), worker_([this] { run(); }) {}

RingWarmer::~RingWarmer() {
    stop();
}

void RingWarmer::warm(std::shared_ptr<FrameRing> ring, int slot, std::function<void()> onReady) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_) {
            return;
        }
        jobs_.push_back({std::move(ring), slot, std::move(onReady)});
    }
    wake_.notify_one();
}

void RingWarmer::stop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        jobs_.clear();
    }
    wake_.notify_one();
    if (worker_.joinable()) {
        worker_.join();
    }
}

void RingWarmer::run() {
    pthread_setname_np(pthread_self(), "engine.ring-warm");
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> guard(lock_);
            wake_.wait(guard, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) {
                return;
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job.ring->touchSlot(job.slot);
        // The ring is released on the io thread too, with the callback, never here.
        asio::post(io_, [ring = std::move(job.ring), onReady = std::move(job.onReady)]() mutable {
            onReady();
            ring.reset();
        });
    }
}

} // namespace Engine
