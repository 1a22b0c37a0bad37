// A steady ticker at a fixed rate on the io thread, drift-free (each deadline is the previous one
// plus the period) and catching up by skipping rather than bursting when it falls behind.
#pragma once

#include <algorithm>
#include <asio.hpp>
#include <chrono>
#include <cstdint>
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
    uint64_t ticks() const { return ticks_; }
    // Ticks dropped because the loop fell more than a period behind.
    uint64_t skippedTicks() const { return skippedTicks_; }
    // The longest tick handler and the latest wake-up after its deadline, in milliseconds.
    double longestTickMs() const { return longestTickNs_ / 1e6; }
    double latestWakeMs() const { return latestWakeNs_ / 1e6; }

private:
    void schedule() {
        timer_.expires_at(next_);
        timer_.async_wait([this](const asio::error_code& ec) {
            if (ec || !running_) {
                return;
            }
            const auto woke = std::chrono::steady_clock::now();
            latestWakeNs_ = std::max<double>(latestWakeNs_, static_cast<double>((woke - next_).count()));
            onTick_();
            ++ticks_;
            const auto now = std::chrono::steady_clock::now();
            longestTickNs_ = std::max<double>(longestTickNs_, static_cast<double>((now - woke).count()));
            next_ += period_;
            if (next_ < now) {
                // Fell behind (a slow render, a busy machine): skip the missed ticks, don't burst.
                const auto missed = (now - next_) / period_ + 1;
                skippedTicks_ += static_cast<uint64_t>(missed);
                next_ += missed * period_;
            }
            schedule();
        });
    }

    asio::steady_timer timer_;
    std::chrono::nanoseconds period_;
    std::function<void()> onTick_;
    std::chrono::steady_clock::time_point next_;
    bool running_ = false;
    uint64_t ticks_ = 0;
    uint64_t skippedTicks_ = 0;
    double longestTickNs_ = 0;
    double latestWakeNs_ = 0;
};

} // namespace Engine
