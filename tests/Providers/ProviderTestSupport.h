// Helpers for the provider tests: a model server on loopback that answers like LM Studio or OpenAI,
// running coroutines as cancellable tasks, and private folders.
#pragma once

#include "Runtime/Task.h"
#include "Support/TestHttpServer.h"

#include <asio/io_context.hpp>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <thread>

namespace ProviderTests {

inline std::string httpAnswer(int status, const std::string& body, const std::string& extraHeaders = "") {
    return "HTTP/1.1 " + std::to_string(status) +
           " X\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

// An OpenAI-compatible server: /v1/models and /v1/chat/completions, both guarded by a bearer token
// when one is required. The chat answer is a tool call, as LM Studio writes it.
class ModelServer {
public:
    explicit ModelServer(std::optional<std::string> requiredToken = std::nullopt)
        : requiredToken_(std::move(requiredToken)) {
        server.route("/v1/models", [this](const auto& request, const auto& send) {
            if (!isAuthorized(request)) {
                send(httpAnswer(401,
                                R"({"error":{"message":"Invalid API key","type":"invalid_request_error"}})"));
                return;
            }
            send(httpAnswer(200, R"({"object":"list","data":[{"id":"qwen2.5-7b-instruct","object":"model"},
                {"id":"text-embedding-nomic","object":"model"}]})"));
        });
        server.route("/v1/chat/completions", [this](const auto& request, const auto& send) {
            if (!isAuthorized(request)) {
                send(httpAnswer(401, R"({"error":{"message":"Invalid API key"}})"));
                return;
            }
            send(httpAnswer(200,
                            R"({"id":"chatcmpl-7","object":"chat.completion","model":"qwen2.5-7b-instruct",
                "choices":[{"index":0,"finish_reason":"tool_calls","message":{"role":"assistant","content":null,
                "tool_calls":[{"id":"call_1","type":"function","function":{"name":"perform_phone_actions",
                "arguments":"{\"actions\":[{\"type\":\"tap\",\"x\":0.5,\"y\":0.5}]}"}}]}}],
                "usage":{"prompt_tokens":120,"completion_tokens":30,"total_tokens":150}})"));
        });
    }

    std::string baseURL() const { return server.url("/v1"); }

    TestSupport::TestHttpServer server;

private:
    bool isAuthorized(const TestSupport::TestHttpRequest& request) const {
        if (!requiredToken_) {
            return true;
        }
        auto found = request.headers.find("authorization");
        return found != request.headers.end() && found->second == "Bearer " + *requiredToken_;
    }
    std::optional<std::string> requiredToken_;
};

// Runs `context` until `done()` holds or `limit` passes; false on time-out.
inline bool runUntil(asio::io_context& context, const std::function<bool()>& done,
                     std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        context.restart();
        context.run_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A coroutine started as a Task on a private context, with its result kept.
template <typename T>
struct Started {
    Runtime::Task task;
    std::optional<T> value;
    std::exception_ptr error;
    bool isDone = false;
};

template <typename T, typename Make>
std::shared_ptr<Started<T>> start(asio::io_context& context, Make make) {
    auto started = std::make_shared<Started<T>>();
    auto body = [](std::shared_ptr<Started<T>> into, Make make) -> asio::awaitable<void> {
        into->value = co_await make();
    };
    started->task = Runtime::Task::start(context.get_executor(), body(started, std::move(make)),
                                         [started](std::exception_ptr error) {
                                             started->error = error;
                                             started->isDone = true;
                                         });
    return started;
}

// A private folder, removed at the end; XDG folders point into it for the test's lifetime.
class TemporaryHome {
public:
    TemporaryHome() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vedevave-providers-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
        ::setenv("XDG_DATA_HOME", (path / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (path / "config").c_str(), 1);
    }
    ~TemporaryHome() {
        std::error_code error;
        std::filesystem::remove_all(path, error);
    }
    std::filesystem::path path;
};

} // namespace ProviderTests
