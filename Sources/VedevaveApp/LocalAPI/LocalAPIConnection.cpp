#include "VedevaveApp/LocalAPI/LocalAPIConnection.h"

#include "Runtime/Log.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/post.hpp>
#include <asio/redirect_error.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

namespace VedevaveApp {

namespace {

constexpr auto asTuple = asio::experimental::as_tuple(asio::use_awaitable);
constexpr size_t readChunkBytes = 65'536;
// How long a closing connection keeps reading (and dropping) what the client still sends, so that
// the client sees the last answer instead of a reset.
constexpr auto lingerTime = std::chrono::seconds(1);
constexpr size_t lingerBytes = 16 * 1024 * 1024;

constexpr const char* missingWebSocketKeyText = "missing sec-websocket-key";
constexpr const char* streamsUnavailableText = "streams unavailable";
constexpr const char* internalErrorText = "internal error";

asio::awaitable<void> waitForWake(asio::steady_timer& timer) {
    timer.expires_at(asio::steady_timer::time_point::max());
    asio::error_code ignored;
    co_await timer.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
}

// Runs one handler on the handler executor; whatever it throws becomes a 500 answer.
asio::awaitable<LocalAPIResponse> invokeHandler(LocalAPIHandler handler, LocalAPIRequest request) {
    const std::string label = request.method + " " + request.path;
    std::string failure;
    try {
        auto work = handler(std::move(request));
        co_return co_await std::move(work);
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        failure = "unknown error";
    }
    Runtime::logLine("LocalAPI: handler for " + label + " failed — " + failure);
    co_return LocalAPIResponse::error(500, internalErrorText);
}

} // namespace

LocalAPIConnection::LocalAPIConnection(asio::ip::tcp::socket socket, std::shared_ptr<const Settings> settings)
    : socket_(std::move(socket)), settings_(std::move(settings)), framing_(settings_->framing),
      readBuffer_(readChunkBytes), writerWake_(socket_.get_executor()), readerWake_(socket_.get_executor()),
      idleTimer_(socket_.get_executor()), lastActivity_(std::chrono::steady_clock::now()) {
    asio::error_code ignored;
    // Without it Nagle and delayed acknowledgements add ~40 ms to every answer.
    socket_.set_option(asio::ip::tcp::no_delay(true), ignored);
    peer_ = socket_.remote_endpoint(ignored);
    local_ = socket_.local_endpoint(ignored);
}

std::string LocalAPIConnection::ownOrigin() const {
    return "http://127.0.0.1:" + std::to_string(local_.port());
}

void LocalAPIConnection::close() {
    isClosing_ = true;
    asio::error_code ignored;
    socket_.close(ignored);
    writerWake_.cancel();
    readerWake_.cancel();
    idleTimer_.cancel();
}

asio::awaitable<void> LocalAPIConnection::run() {
    auto self = shared_from_this();
    auto executor = co_await asio::this_coro::executor;
    auto writerDone = [self](std::exception_ptr) {};
    asio::co_spawn(executor, writeLoop(), writerDone);
    auto watcherDone = [self](std::exception_ptr) {};
    asio::co_spawn(executor, watchIdle(), watcherDone);

    try {
        co_await readLoop();
    } catch (const std::exception& error) {
        Runtime::logLine(std::string("LocalAPI: connection failed — ") + error.what());
        close();
    }
    isReaderDone_ = true;
    writerWake_.cancel();
    while (!isWriterDone_) {
        co_await waitForWake(readerWake_);
    }

    if (takeover_ && !isClosing_) {
        // The stream handler owns the connection from here; the idle watch is not its business.
        isClosing_ = true;
        idleTimer_.cancel();
        auto handlers = settings_->handlers->current();
        LocalAPIStream stream{std::move(socket_), std::move(takeover_->request), framing_.takeBufferedBytes(),
                              std::move(takeover_->allowedOrigin)};
        try {
            auto work = handlers->stream(std::move(stream));
            co_await std::move(work);
        } catch (const std::exception& error) {
            Runtime::logLine(std::string("LocalAPI: stream failed — ") + error.what());
        }
        co_return;
    }
    co_await closeGracefully();
}

asio::awaitable<void> LocalAPIConnection::refuse(LocalAPIResponse response) {
    const std::string bytes = response.serialize(ownOrigin(), false, false);
    co_await asio::async_write(socket_, asio::buffer(bytes), asTuple);
    co_await closeGracefully();
}

asio::awaitable<void> LocalAPIConnection::closeGracefully() {
    isClosing_ = true;
    idleTimer_.cancel();
    asio::error_code error;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_send, error);
    if (!error) {
        auto self = shared_from_this();
        asio::steady_timer deadline(socket_.get_executor(), lingerTime);
        auto onDeadline = [self](asio::error_code timerError) {
            if (!timerError) {
                asio::error_code ignored;
                self->socket_.cancel(ignored);
            }
        };
        deadline.async_wait(onDeadline);
        size_t dropped = 0;
        while (dropped < lingerBytes) {
            auto [readError, count] = co_await socket_.async_read_some(asio::buffer(readBuffer_), asTuple);
            if (readError) {
                break;
            }
            dropped += count;
        }
        deadline.cancel();
    }
    close();
}

asio::awaitable<void> LocalAPIConnection::readLoop() {
    for (;;) {
        // Bytes already buffered are examined before reading again: a client that sent several
        // requests at once is answered without having to send more.
        while (!isClosing_ && !takeover_) {
            if (pending_.size() >= settings_->maxPipelinedRequests) {
                co_await waitForWake(readerWake_);
                continue;
            }
            auto result = framing_.next();
            if (std::holds_alternative<HttpRequestFraming::NeedMore>(result)) {
                break;
            }
            if (auto* failure = std::get_if<HttpRequestFraming::Failure>(&result)) {
                queueAnswer(LocalAPIResponse::error(failure->status, failure->error), ownOrigin(), false,
                            failure->closesConnection);
                if (failure->closesConnection) {
                    co_return;
                }
                continue;
            }
            handle(std::move(std::get<LocalAPIRequest>(result)));
        }
        if (isClosing_ || takeover_) {
            co_return;
        }
        auto [error, count] = co_await socket_.async_read_some(asio::buffer(readBuffer_), asTuple);
        if (error) {
            co_return;
        }
        lastActivity_ = std::chrono::steady_clock::now();
        framing_.append(std::string_view(readBuffer_.data(), count));
    }
}

void LocalAPIConnection::handle(LocalAPIRequest request) {
    request.peerAddress = peer_.address();
    request.isFromRemotePeer = !settings_->access.isLocalPeer(peer_.address());
    const bool isHead = request.method == "HEAD";
    if (auto refusal = settings_->access.check(request, local_.address(), local_.port())) {
        queueAnswer(LocalAPIResponse::error(refusal->status, refusal->error), ownOrigin(), isHead);
        return;
    }
    std::string origin = LocalAPIAccessPolicy::allowedOrigin(request, local_.port());
    auto handlers = settings_->handlers->current();
    switch (targetOf(request)) {
    case LocalAPITarget::webSocket: {
        const auto key = request.header("sec-websocket-key");
        if (!key || key->empty()) {
            queueAnswer(LocalAPIResponse::error(400, missingWebSocketKeyText), origin, isHead);
        } else if (!handlers->stream) {
            queueAnswer(LocalAPIResponse::error(503, streamsUnavailableText), origin, isHead);
        } else {
            takeover_ = Takeover{std::move(request), std::move(origin)};
        }
        return;
    }
    case LocalAPITarget::mjpegStream:
        if (!handlers->stream) {
            queueAnswer(LocalAPIResponse::error(503, streamsUnavailableText), origin, isHead);
        } else {
            takeover_ = Takeover{std::move(request), std::move(origin)};
        }
        return;
    case LocalAPITarget::options:
        queueAnswer(optionsResponse(), origin, false);
        return;
    case LocalAPITarget::page:
        queueAnswer(LocalAPIResponse::raw(200, "text/html; charset=utf-8", handlers->page), origin, isHead);
        return;
    case LocalAPITarget::singleFrame:
        startHandler(handlers->singleFrame, std::move(request), std::move(origin));
        return;
    case LocalAPITarget::route:
        startHandler(handlers->route, std::move(request), std::move(origin));
        return;
    }
}

void LocalAPIConnection::queueAnswer(const LocalAPIResponse& response, const std::string& allowedOrigin,
                                     bool isHead, bool closesConnection) {
    auto answer = std::make_shared<PendingAnswer>();
    answer->bytes = response.serialize(allowedOrigin, isHead, !closesConnection);
    answer->closesConnection = closesConnection;
    pending_.push_back(std::move(answer));
    writerWake_.cancel();
}

void LocalAPIConnection::startHandler(const LocalAPIHandler& handler, LocalAPIRequest request,
                                      std::string allowedOrigin) {
    auto answer = std::make_shared<PendingAnswer>();
    pending_.push_back(answer);
    const bool isHead = request.method == "HEAD";
    // The answer comes back through the server's context; a connection that has gone in the meantime
    // simply drops it.
    std::weak_ptr<LocalAPIConnection> weakSelf = weak_from_this();
    auto context = settings_->serverContext;
    auto onAnswer = [weakSelf, context, answer, isHead, origin = std::move(allowedOrigin)](
                        std::exception_ptr error, LocalAPIResponse response) mutable {
        if (error) {
            response = LocalAPIResponse::error(500, internalErrorText);
        }
        auto serverContext = context.lock();
        if (!serverContext) {
            return; // the server is gone, and the connection with it
        }
        auto bytes = response.serialize(origin, isHead);
        asio::post(*serverContext, [weakSelf, answer, bytes = std::move(bytes)]() mutable {
            answer->bytes = std::move(bytes);
            if (auto self = weakSelf.lock()) {
                self->writerWake_.cancel();
            }
        });
    };
    asio::co_spawn(settings_->handlerExecutor, invokeHandler(handler, std::move(request)),
                   std::move(onAnswer));
}

asio::awaitable<void> LocalAPIConnection::writeLoop() {
    for (;;) {
        if (!pending_.empty() && pending_.front()->bytes) {
            auto answer = pending_.front();
            auto [error, count] = co_await asio::async_write(socket_, asio::buffer(*answer->bytes), asTuple);
            pending_.pop_front();
            readerWake_.cancel();
            lastActivity_ = std::chrono::steady_clock::now();
            if (error) {
                // The client is gone: stop reading too.
                close();
                break;
            }
            if (answer->closesConnection) {
                break;
            }
            continue;
        }
        if (isClosing_ || (isReaderDone_ && pending_.empty())) {
            break;
        }
        co_await waitForWake(writerWake_);
    }
    isWriterDone_ = true;
    readerWake_.cancel();
}

asio::awaitable<void> LocalAPIConnection::watchIdle() {
    const auto timeout = settings_->idleTimeout;
    while (!isClosing_) {
        const auto now = std::chrono::steady_clock::now();
        auto deadline = lastActivity_ + timeout;
        if (now >= deadline) {
            // Waiting for our own answers is not idleness; a half-sent request or silence is.
            const bool isWaitingForAnswers = !pending_.empty() && !framing_.hasBufferedBytes();
            if (!isWaitingForAnswers) {
                close();
                break;
            }
            deadline = now + timeout;
        }
        idleTimer_.expires_at(deadline);
        asio::error_code ignored;
        co_await idleTimer_.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
    }
}

} // namespace VedevaveApp
