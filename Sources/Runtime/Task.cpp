#include "Runtime/Task.h"

#include "Runtime/Executors.h"

#include <asio/bind_cancellation_slot.hpp>
#include <asio/bind_executor.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/co_spawn.hpp>
#include <asio/dispatch.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include <atomic>
#include <vector>

namespace Runtime {

namespace {
bool isAbort(const std::system_error& error) { return error.code() == asio::error::operation_aborted; }
} // namespace

asio::awaitable<void> checkCancellation() {
    auto state = co_await asio::this_coro::cancellation_state;
    if (state.cancelled() != asio::cancellation_type::none) {
        throw CancellationError();
    }
}

asio::awaitable<void> sleepFor(std::chrono::milliseconds duration) {
    co_await checkCancellation();
    asio::steady_timer timer(co_await asio::this_coro::executor, duration);
    try {
        co_await timer.async_wait(asio::use_awaitable);
    } catch (const std::system_error& error) {
        if (isAbort(error)) {
            throw CancellationError();
        }
        throw;
    }
}

asio::awaitable<void> sleepForUncancellable(std::chrono::milliseconds duration) {
    asio::steady_timer timer(co_await asio::this_coro::executor, duration);
    // An empty slot detaches the wait from the coroutine's cancellation.
    co_await timer.async_wait(asio::bind_cancellation_slot(asio::cancellation_slot(), asio::use_awaitable));
}

asio::awaitable<void> resetCancellation() { co_await asio::this_coro::reset_cancellation_state(); }

struct Task::State {
    asio::any_io_executor executor;
    asio::cancellation_signal signal;         // touched on the executor only
    std::atomic<bool> finished{false};
    std::atomic<bool> cancelRequested{false};
    std::vector<std::shared_ptr<asio::steady_timer>> joiners; // executor only
};

Task Task::start(asio::any_io_executor executor, asio::awaitable<void> work,
                 std::function<void(std::exception_ptr)> onDone) {
    Task task;
    task.state_ = std::make_shared<State>();
    task.state_->executor = executor;
    auto state = task.state_;
    // Tasks see cancellation only where they look for it (pauses, requests, checks): Asio would
    // otherwise throw from every later co_await, including the awaits of cleanup code.
    auto entry = [work = std::move(work)]() mutable -> asio::awaitable<void> {
        co_await asio::this_coro::throw_if_cancelled(false);
        co_await std::move(work);
    };
    asio::co_spawn(executor, std::move(entry),
                   asio::bind_cancellation_slot(state->signal.slot(),
                                                [state, onDone = std::move(onDone)](std::exception_ptr error) {
                                                    state->finished = true;
                                                    for (auto& timer : state->joiners) {
                                                        timer->cancel();
                                                    }
                                                    state->joiners.clear();
                                                    if (onDone) {
                                                        onDone(error);
                                                    }
                                                }));
    return task;
}

void Task::cancel() const {
    if (!state_) {
        return;
    }
    state_->cancelRequested = true;
    asio::dispatch(state_->executor, [state = state_] {
        if (!state->finished) {
            state->signal.emit(asio::cancellation_type::terminal);
        }
    });
}

bool Task::isFinished() const { return !state_ || state_->finished; }
bool Task::isCancelled() const { return state_ && state_->cancelRequested; }

asio::awaitable<void> Task::join() const {
    if (!state_) {
        co_return;
    }
    auto state = state_;
    auto executor = co_await asio::this_coro::executor;
    // The joiner list belongs to the task's executor; hop there to register.
    auto timer = std::make_shared<asio::steady_timer>(state->executor, asio::steady_timer::time_point::max());
    co_await asio::post(asio::bind_executor(state->executor, asio::use_awaitable));
    if (!state->finished) {
        state->joiners.push_back(timer);
        try {
            co_await timer->async_wait(asio::use_awaitable);
        } catch (const std::system_error&) {
            // cancelled by the task's completion
        }
    }
    co_await asio::post(asio::bind_executor(executor, asio::use_awaitable));
}

Task startOnMain(asio::awaitable<void> work, std::function<void(std::exception_ptr)> onDone) {
    return Task::start(mainExecutor(), std::move(work), std::move(onDone));
}

} // namespace Runtime
