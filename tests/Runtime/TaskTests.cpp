#include "Runtime/Task.h"

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <gtest/gtest.h>

// Coroutine lambdas are named locals: a temporary closure would die while its coroutine still
// reads the captures through it.

using namespace std::chrono_literals;

namespace {

TEST(Task, CancellingEndsAPauseWithCancellationError) {
    asio::io_context context;
    bool sawCancellation = false;
    auto started = std::chrono::steady_clock::now();
    auto body0 = [&]() -> asio::awaitable<void> {
        try {
            co_await Runtime::sleepFor(10s);
        } catch (const Runtime::CancellationError&) {
            sawCancellation = true;
        }
    };
    auto task = Runtime::Task::start(context.get_executor(), body0());
    asio::steady_timer later(context, 20ms);
    later.async_wait([&](auto) { task.cancel(); });
    context.run();
    EXPECT_TRUE(sawCancellation);
    EXPECT_TRUE(task.isFinished());
    EXPECT_TRUE(task.isCancelled());
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
}

TEST(Task, UncancellablePauseRunsToItsEndAndCleanupCanAwaitAfterReset) {
    asio::io_context context;
    std::vector<std::string> steps;
    auto body1 = [&]() -> asio::awaitable<void> {
        co_await Runtime::sleepForUncancellable(60ms); // cancelled during this pause
        steps.push_back("hold finished");
        bool wasCancelled = false;
        try {
            co_await Runtime::checkCancellation();
            steps.push_back("not cancelled?");
        } catch (const Runtime::CancellationError&) {
            wasCancelled = true; // no co_await inside a handler
        }
        if (wasCancelled) {
            steps.push_back("cancelled");
            co_await Runtime::resetCancellation();
            co_await Runtime::sleepFor(1ms); // cleanup such as a touch release
            steps.push_back("cleaned up");
        }
    };
    auto task = Runtime::Task::start(context.get_executor(), body1());
    asio::steady_timer later(context, 10ms);
    later.async_wait([&](auto) { task.cancel(); });
    context.run();
    EXPECT_EQ(steps, (std::vector<std::string>{"hold finished", "cancelled", "cleaned up"}));
}

TEST(Task, JoinWaitsForCompletionAndOnDoneSeesTheError) {
    asio::io_context context;
    std::exception_ptr seen;
    auto body2 = []() -> asio::awaitable<void> {
        co_await Runtime::sleepFor(5ms);
        throw std::runtime_error("boom");
    };
    auto failing =
        Runtime::Task::start(context.get_executor(), body2(), [&](std::exception_ptr error) { seen = error; });
    bool joined = false;
    auto body3 = [&]() -> asio::awaitable<void> {
        co_await failing.join();
        joined = failing.isFinished();
    };
    Runtime::Task::start(context.get_executor(), body3());
    context.run();
    EXPECT_TRUE(joined);
    ASSERT_TRUE(seen);
    EXPECT_THROW(std::rethrow_exception(seen), std::runtime_error);
}

} // namespace
