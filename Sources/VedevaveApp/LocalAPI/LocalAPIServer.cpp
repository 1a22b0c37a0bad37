#include "VedevaveApp/LocalAPI/LocalAPIServer.h"

#include "Platform/Environment.h"
#include "Runtime/Executors.h"
#include "Runtime/Log.h"
#include "VedevaveApp/LocalAPI/LocalAPIToken.h"

#include <asio/co_spawn.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <charconv>
#include <future>
#include <map>

namespace VedevaveApp {

namespace {

constexpr auto asTuple = asio::experimental::as_tuple(asio::use_awaitable);
constexpr const char* threadName = "vedevave.local-api";
// After running out of descriptors, accepting again at once would spin.
constexpr auto acceptBackoff = std::chrono::milliseconds(100);

bool isTransientAcceptError(const asio::error_code& error) {
    return error == asio::error::no_descriptors || error == asio::error::no_buffer_space ||
           error == asio::error::no_memory || error == asio::error::connection_aborted ||
           error == asio::error::connection_reset || error == asio::error::would_block ||
           error == asio::error::try_again;
}

} // namespace

// The open connections, so that they can be counted and closed. Server thread only.
struct LocalAPIServer::Registry {
    uint64_t nextID = 0;
    std::map<uint64_t, std::weak_ptr<LocalAPIConnection>> open;
};

LocalAPIServer& LocalAPIServer::shared() {
    // Never destroyed: handlers on the main executor may outlive static destruction order.
    static auto* server = new LocalAPIServer();
    return *server;
}

LocalAPIServer::LocalAPIServer() : LocalAPIServer(Options{}) {}

LocalAPIServer::LocalAPIServer(Options options)
    : options_(std::move(options)), context_(std::make_shared<asio::io_context>(1)),
      workGuard_(asio::make_work_guard(*context_)), registry_(std::make_shared<Registry>()) {
    if (!options_.handlerExecutor) {
        options_.handlerExecutor = Runtime::mainExecutor();
    }
    if (!options_.isLocalPeer) {
        options_.isLocalPeer = &LocalAPIAccessPolicy::isLoopback;
    }
    thread_ = std::thread([context = context_] {
        Runtime::setCurrentThreadName(threadName);
        context->run();
    });
}

LocalAPIServer::~LocalAPIServer() {
    runOnServerThread([this] {
        stopOnServerThread();
        for (auto& [id, weak] : registry_->open) {
            if (auto connection = weak.lock()) {
                connection->close();
            }
        }
    });
    workGuard_.reset();
    context_->stop();
    thread_.join();
}

void LocalAPIServer::runOnServerThread(const std::function<void()>& work) {
    if (thread_.get_id() == std::this_thread::get_id()) {
        work();
        return;
    }
    std::promise<void> done;
    asio::post(*context_, [&] {
        work();
        done.set_value();
    });
    done.get_future().wait();
}

void LocalAPIServer::start(uint16_t port) {
    const bool remote =
        allowRemote_ || remoteAccessFromEnvironment(Platform::Environment::get("VEDEVAVE_API_REMOTE"));
    runOnServerThread([this, port, remote] { startOnServerThread(port, remote); });
}

void LocalAPIServer::stop() {
    runOnServerThread([this] { stopOnServerThread(); });
}

void LocalAPIServer::stopOnServerThread() {
    if (acceptor_) {
        asio::error_code ignored;
        acceptor_->close(ignored);
        acceptor_.reset();
    }
    isRunning_ = false;
}

std::string LocalAPIServer::apiToken() const {
    std::lock_guard lock(tokenMutex_);
    return token_;
}

void LocalAPIServer::startOnServerThread(uint16_t port, bool allowRemote) {
    // Asking again for the port in use, as requested or as bound, keeps the listener.
    const bool isSameListener = acceptor_ && isRunning_ && (requestedPort_ == port || port_ == port);
    if (isSameListener) {
        return;
    }
    stopOnServerThread();
    requestedPort_ = port;
    port_ = port;

    auto settings = std::make_shared<LocalAPIConnection::Settings>();
    settings->framing = {options_.limits.maxHeaderBytes, options_.limits.maxBodyBytes};
    settings->idleTimeout = options_.limits.idleTimeout;
    settings->maxPipelinedRequests = std::max<size_t>(1, options_.limits.maxPipelinedRequests);
    settings->access.allowRemote = allowRemote;
    settings->access.isLocalPeer = options_.isLocalPeer;
    settings->handlers = handlers_;
    settings->handlerExecutor = options_.handlerExecutor;
    settings->serverContext = context_;
    if (allowRemote) {
        try {
            auto store = options_.preferences;
            settings->access.token =
                LocalAPIToken::loadOrCreate(store ? *store : Platform::PreferenceStore::shared());
        } catch (const std::exception& error) {
            Runtime::logLine(std::string("LocalAPI: cannot create the API token — ") + error.what() +
                             "; remote clients will be refused");
        }
    }
    {
        std::lock_guard lock(tokenMutex_);
        token_ = settings->access.token;
    }

    // Loopback unless remote access was asked for: the API moves the phone, so by default nothing
    // outside this machine may reach it.
    const auto address = allowRemote ? asio::ip::address(asio::ip::address_v4::any())
                                     : asio::ip::address(asio::ip::address_v4::loopback());
    auto acceptor = std::make_shared<asio::ip::tcp::acceptor>(*context_);
    asio::error_code error;
    const asio::ip::tcp::endpoint endpoint(address, port);
    acceptor->open(endpoint.protocol(), error);
    if (!error) {
        acceptor->set_option(asio::socket_base::reuse_address(true), error);
    }
    if (!error) {
        acceptor->bind(endpoint, error);
    }
    if (!error) {
        acceptor->listen(asio::socket_base::max_listen_connections, error);
    }
    if (error) {
        Runtime::logLine("LocalAPI: cannot bind :" + std::to_string(port) + " — " + error.message());
        return;
    }
    const uint16_t boundPort = acceptor->local_endpoint(error).port();
    port_ = boundPort;
    acceptor_ = acceptor;
    isRunning_ = true;
    if (allowRemote) {
        Runtime::logLine("LocalAPI: listening on http://0.0.0.0:" + std::to_string(boundPort) +
                         " (Local + LAN ready)");
        if (!settings->access.token.empty()) {
            Runtime::logLine("LocalAPI: clients on other machines must send \"Authorization: Bearer " +
                             settings->access.token + "\" (tools/vedevave --token " + settings->access.token +
                             ")");
        }
    } else {
        Runtime::logLine("LocalAPI: listening on http://127.0.0.1:" + std::to_string(boundPort) +
                         " (this machine only)");
    }
    asio::co_spawn(*context_, acceptLoop(acceptor, std::move(settings)), [](std::exception_ptr) {});
}

asio::awaitable<void>
LocalAPIServer::acceptLoop(std::shared_ptr<asio::ip::tcp::acceptor> acceptor,
                           std::shared_ptr<const LocalAPIConnection::Settings> settings) {
    auto registry = registry_;
    for (;;) {
        auto [error, socket] = co_await acceptor->async_accept(asTuple);
        if (!acceptor->is_open() || error == asio::error::operation_aborted) {
            co_return;
        }
        if (error) {
            if (isTransientAcceptError(error)) {
                asio::steady_timer pause(*context_, acceptBackoff);
                co_await pause.async_wait(asTuple);
                continue;
            }
            Runtime::logLine("LocalAPI: failed " + error.message());
            if (acceptor == acceptor_) {
                isRunning_ = false;
            }
            co_return;
        }
        auto connection = std::make_shared<LocalAPIConnection>(std::move(socket), settings);
        if (registry->open.size() >= options_.limits.maxConnections) {
            auto refused = [connection](std::exception_ptr) {};
            asio::co_spawn(*context_,
                           connection->refuse(LocalAPIResponse::error(503, tooManyConnectionsText)), refused);
            continue;
        }
        const uint64_t id = registry->nextID++;
        registry->open[id] = connection;
        auto finished = [registry, id, connection](std::exception_ptr) { registry->open.erase(id); };
        asio::co_spawn(*context_, connection->run(), finished);
    }
}

void LocalAPIServer::setHandler(LocalAPIHandler handler) {
    handlers_->update([&](LocalAPIHandlers& handlers) { handlers.route = std::move(handler); });
}

void LocalAPIServer::setFrameHandler(LocalAPIHandler handler) {
    handlers_->update([&](LocalAPIHandlers& handlers) { handlers.singleFrame = std::move(handler); });
}

void LocalAPIServer::setStreamHandler(LocalAPIStreamHandler handler) {
    handlers_->update([&](LocalAPIHandlers& handlers) { handlers.stream = std::move(handler); });
}

void LocalAPIServer::setPage(std::string html) {
    handlers_->update([&](LocalAPIHandlers& handlers) { handlers.page = std::move(html); });
}

int64_t LocalAPIServer::contentLength(std::string_view headerBlock) {
    return HttpRequestFraming::contentLength(headerBlock);
}

uint16_t LocalAPIServer::portFromEnvironment(const std::optional<std::string>& value) {
    if (!value || value->empty()) {
        return defaultPort;
    }
    int port = 0;
    auto [end, error] = std::from_chars(value->data(), value->data() + value->size(), port);
    if (error != std::errc() || end != value->data() + value->size() || port < 1 || port > 65535) {
        return defaultPort;
    }
    return static_cast<uint16_t>(port);
}

bool LocalAPIServer::remoteAccessFromEnvironment(const std::optional<std::string>& value) {
    if (!value) {
        return false;
    }
    const std::string text = LocalAPIRequestText::lowercased(LocalAPIRequestText::trimmed(*value));
    return text == "1" || text == "true" || text == "yes" || text == "on";
}

} // namespace VedevaveApp
