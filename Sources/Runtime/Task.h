// Cancellable asynchronous work on an executor, built on C++20 coroutines and Asio's cancellation
// slots. Cancellation is cooperative: awaited timers and HTTP requests end with CancellationError,
// and long loops call `co_await checkCancellation()` at their safe points. Coroutines started as a
// Task are not interrupted anywhere else, so cleanup after a cancellation can still await.
#pragma once

#include "Runtime/Executors.h"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/bind_executor.hpp>
#include <asio/post.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <stdexcept>

namespace Runtime {

// Thrown into a coroutine that was cancelled, at its next pause or cancellation check.
class CancellationError : public std::runtime_error {
public:
    CancellationError() : std::runtime_error("cancelled") {}
    std::string description() const { return "cancelled"; }
};

// Throws CancellationError if the running coroutine has been cancelled.
asio::awaitable<void> checkCancellation();

// A pause that ends early with CancellationError when the coroutine is cancelled.
asio::awaitable<void> sleepFor(std::chrono::milliseconds duration);

// A pause that always lasts its full length, also in a coroutine that has been cancelled: the
// "not cancellable" steps (a touch release, a key up) must complete.
asio::awaitable<void> sleepForUncancellable(std::chrono::milliseconds duration);

// Clears a pending cancellation so cleanup code can await again (after cancellation every await
// would otherwise throw). Call it after catching CancellationError (outside the handler: awaits are
// not allowed there), before cleanup that must await, then rethrow.
asio::awaitable<void> resetCancellation();

// A started coroutine. Copies share the same task. Destroying a Task does not cancel it.
class Task {
public:
    Task() = default;

    // Starts `work` on `executor`. `onDone` (optional) runs on the executor when the coroutine ends,
    // with the exception it ended with (null when it returned normally).
    static Task start(asio::any_io_executor executor, asio::awaitable<void> work,
                      std::function<void(std::exception_ptr)> onDone = {});

    // Requests cancellation. Any thread may call; the request is delivered on the task's executor.
    void cancel() const;
    bool isValid() const { return state_ != nullptr; }
    bool isFinished() const;
    // True when the task ended because of a cancellation request (or is still ending after one).
    bool isCancelled() const;

    // Waits until the task has finished. Never throws the task's own error.
    asio::awaitable<void> join() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

// Runs blocking `work` on the background pool and resumes the awaiting coroutine on its own
// executor with the result (or the exception `work` threw).
template <typename Work>
asio::awaitable<std::invoke_result_t<Work>> runInBackground(Work work);

// Starts `work` on the main executor.
Task startOnMain(asio::awaitable<void> work, std::function<void(std::exception_ptr)> onDone = {});

template <typename Work>
asio::awaitable<std::invoke_result_t<Work>> runInBackground(Work work) {
    using Result = std::invoke_result_t<Work>;
    auto home = co_await asio::this_coro::executor;
    co_await asio::post(asio::bind_executor(backgroundPool(), asio::use_awaitable));
    std::exception_ptr error;
    if constexpr (std::is_void_v<Result>) {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        co_await asio::post(asio::bind_executor(home, asio::use_awaitable));
        if (error) {
            std::rethrow_exception(error);
        }
    } else {
        std::optional<Result> result;
        try {
            result.emplace(work());
        } catch (...) {
            error = std::current_exception();
        }
        co_await asio::post(asio::bind_executor(home, asio::use_awaitable));
        if (error) {
            std::rethrow_exception(error);
        }
        co_return std::move(*result);
    }
}

} // namespace Runtime
