// The local automation API's HTTP/1.1 server: one listener on its own thread ("vedevave.local-api",
// its own io_context) that frames requests, checks who is asking, and hands each request to the
// installed handlers (see LocalAPIHandlers.h); route handlers run on the main executor. There is one
// server per process, `shared()`; tests make their own.
//
// By default it listens on 127.0.0.1 only. With remote access allowed (`setAllowRemote(true)` or
// VEDEVAVE_API_REMOTE=1) it listens on every interface and remote clients must send the API token.
//
// `start`, `stop`, the setters and `hooks` belong to the main thread; `isRunning` and `port` may be
// read from any thread.
#pragma once

#include "Platform/PreferenceStore.h"
#include "VedevaveApp/LocalAPI/LocalAPIConnection.h"
#include "VedevaveApp/LocalAPI/LocalAPIHandlers.h"
#include "VedevaveApp/LocalAPI/LocalAPIHooks.h"

#include <asio/any_io_executor.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace VedevaveApp {

class LocalAPIServer {
public:
    struct Limits {
        size_t maxHeaderBytes = 64 * 1024;     // larger header blocks: 431, then close
        size_t maxBodyBytes = 8 * 1024 * 1024; // larger bodies: 413, then close
        size_t maxConnections = 256;           // further clients: 503, then close
        std::chrono::milliseconds idleTimeout{120'000};
        size_t maxPipelinedRequests = 32; // per connection, answered in order
    };

    struct Options {
        Limits limits;
        // Where route and frame handlers run; the main executor when empty.
        asio::any_io_executor handlerExecutor;
        // Holds the API token; the shared preference store when null.
        std::shared_ptr<Platform::PreferenceStore> preferences;
        // Whether a peer address counts as this machine; loopback addresses when empty.
        std::function<bool(const asio::ip::address&)> isLocalPeer;
    };

    static constexpr uint16_t defaultPort = 8090;
    static constexpr const char* tooManyConnectionsText = "too many connections";

    static LocalAPIServer& shared();

    LocalAPIServer();
    explicit LocalAPIServer(Options options);
    // Stops listening, closes every connection and joins the server thread.
    ~LocalAPIServer();
    LocalAPIServer(const LocalAPIServer&) = delete;
    LocalAPIServer& operator=(const LocalAPIServer&) = delete;

    // Listens on `port` (0: any free port). Does nothing when already listening on that port;
    // otherwise replaces the listener. The outcome shows in `isRunning` and on standard error.
    void start(uint16_t port);
    // Closes the listener. Connections already open stay open and keep being served.
    void stop();
    bool isRunning() const { return isRunning_; }
    // The bound port while running (the chosen one after `start(0)`), else the last requested one.
    uint16_t port() const { return port_; }

    // Takes effect at the next `start`.
    void setAllowRemote(bool allowRemote) { allowRemote_ = allowRemote; }
    bool allowRemote() const { return allowRemote_; }
    // The token remote clients must send; empty while remote access is off.
    std::string apiToken() const;

    void setHandler(LocalAPIHandler handler);
    void setFrameHandler(LocalAPIHandler handler);
    void setStreamHandler(LocalAPIStreamHandler handler);
    void setPage(std::string html);

    // The application's callbacks for the routes, streams and agent handlers.
    LocalAPIHooks hooks;

    // The body length a header block announces (see HttpRequestFraming::contentLength).
    static int64_t contentLength(std::string_view headerBlock);
    // VEDEVAVE_API_PORT: a decimal port 1..65535, else 8090 (also when unset or empty).
    static uint16_t portFromEnvironment(const std::optional<std::string>& value);
    // VEDEVAVE_API_REMOTE: "1", "true", "yes" or "on" in any case.
    static bool remoteAccessFromEnvironment(const std::optional<std::string>& value);

private:
    struct Registry;

    // Runs `work` on the server thread and waits for it (directly when already there).
    void runOnServerThread(const std::function<void()>& work);
    void startOnServerThread(uint16_t port, bool allowRemote);
    void stopOnServerThread();
    asio::awaitable<void> acceptLoop(std::shared_ptr<asio::ip::tcp::acceptor> acceptor,
                                     std::shared_ptr<const LocalAPIConnection::Settings> settings);

    Options options_;
    std::shared_ptr<asio::io_context> context_;
    asio::executor_work_guard<asio::io_context::executor_type> workGuard_;
    std::thread thread_;
    std::shared_ptr<LocalAPIHandlerSlot> handlers_ = std::make_shared<LocalAPIHandlerSlot>();
    std::shared_ptr<Registry> registry_;

    std::shared_ptr<asio::ip::tcp::acceptor> acceptor_; // server thread only
    uint16_t requestedPort_ = defaultPort;              // server thread only
    std::atomic<uint16_t> port_{defaultPort};
    std::atomic<bool> isRunning_{false};
    std::atomic<bool> allowRemote_{false};
    mutable std::mutex tokenMutex_;
    std::string token_; // guarded by tokenMutex_
};

} // namespace VedevaveApp
