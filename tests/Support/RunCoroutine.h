// Runs a coroutine to completion on a private io_context for tests, rethrowing what it throws.
#pragma once

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

#include <exception>
#include <optional>

namespace TestSupport {

template <typename T>
T runCoroutine(asio::io_context& context, asio::awaitable<T> work) {
    std::exception_ptr error;
    std::optional<T> result;
    asio::co_spawn(context, std::move(work), [&](std::exception_ptr e, T value) {
        error = e;
        if (!e) {
            result.emplace(std::move(value));
        }
    });
    context.restart();
    context.run();
    if (error) {
        std::rethrow_exception(error);
    }
    return std::move(*result);
}

inline void runCoroutine(asio::io_context& context, asio::awaitable<void> work) {
    std::exception_ptr error;
    asio::co_spawn(context, std::move(work), [&](std::exception_ptr e) { error = e; });
    context.restart();
    context.run();
    if (error) {
        std::rethrow_exception(error);
    }
}

} // namespace TestSupport
