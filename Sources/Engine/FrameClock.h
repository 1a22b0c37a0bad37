// A steady ticker at a fixed rate on the io thread, drift-free (each deadline is the previous one
// plus the period) and catching up by skipping rather than bursting when it falls behind.
#pragma once

#include <asio.hpp>
#include <chrono>
#include <functional>

namespace Engine {

class FrameClock {
public:
    FrameClock(asio::io_context& io, int fps, std::function<void()> onTick)
        : timer_(io), period_(std::chrono::nanoseconds(1'000'000'000 / std::max(1, fps))),
          onTick_(std::move(onTick)) {}

    void start() {
        running_ = true;
        next_ = std::chrono::steady_clock::now() + period_;
        schedule();
    }

    void stop() {
        running_ = false;
        timer_.cancel();
    }

    std::chrono::nanoseconds period() const { return period_; }

private:
    void schedule() {
        timer_.expires_at(next_);
        timer_.async_wait([this](const asio::error_code& ec) {
            if (ec || !running_) {
                return;
            }
            onTick_();
            next_ += period_;
            const auto now = std::chrono::steady_clock::now();
            if (next_ < now) {
                next_ = now + period_; // fell behind (a slow render): skip, don't burst
            }
            schedule();
        });
    }

    asio::steady_timer timer_;
    std::chrono::nanoseconds period_;
    std::function<void()> onTick_;
    std::chrono::steady_clock::time_point next_;
    bool running_ = false;
};

} // namespace Engine
