// Delayed work on the main executor and the clock the input logic reads, behind an interface so that
// tests drive time by hand. Call from the main thread only; scheduled work runs there.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace asio {
class io_context;
}

namespace VedevaveApp {

// A handle on one piece of scheduled work. Cancelling, or destroying the handle, makes sure the work
// does not run; so a component that keeps its handles can never be called back after it is gone.
class ScheduledTask {
public:
    struct State {
        bool isFinished = false; // ran or was cancelled
    };

    ScheduledTask() = default;
    explicit ScheduledTask(std::shared_ptr<State> state) : state_(std::move(state)) {}
    ScheduledTask(ScheduledTask&& other) noexcept = default;
    ScheduledTask& operator=(ScheduledTask&& other) noexcept {
        cancel();
        state_ = std::move(other.state_);
        return *this;
    }
    ScheduledTask(const ScheduledTask&) = delete;
    ScheduledTask& operator=(const ScheduledTask&) = delete;
    ~ScheduledTask() { cancel(); }

    void cancel() {
        if (state_) {
            state_->isFinished = true;
            state_.reset();
        }
    }
    bool isPending() const { return state_ && !state_->isFinished; }

    // For schedulers: runs `work` unless the task was cancelled, at most once.
    static void run(const std::shared_ptr<State>& state, const std::function<void()>& work) {
        if (!state->isFinished) {
            state->isFinished = true;
            work();
        }
    }

private:
    std::shared_ptr<State> state_;
};

class MainScheduler {
public:
    virtual ~MainScheduler() = default;
    // Nanoseconds of the monotonic clock (the clock of Runtime::monotonicNow in production).
    virtual uint64_t monotonicNanoseconds() const = 0;
    // Runs `work` on the main thread after `delay`, unless the returned task is cancelled first.
    virtual ScheduledTask schedule(std::chrono::nanoseconds delay, std::function<void()> work) = 0;
};

// The production scheduler: timers on the main executor's io_context, which must outlive it.
class AsioMainScheduler final : public MainScheduler {
public:
    explicit AsioMainScheduler(asio::io_context& context) : context_(context) {}
    uint64_t monotonicNanoseconds() const override;
    ScheduledTask schedule(std::chrono::nanoseconds delay, std::function<void()> work) override;

private:
    asio::io_context& context_;
};

} // namespace VedevaveApp
