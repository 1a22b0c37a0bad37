#include "ProviderTestSupport.h"
#include "Support/RunCoroutine.h"
#include "VedevaveApp/Providers/BoundedURLSessionDataLoader.h"

#include <gtest/gtest.h>

using namespace VedevaveApp;
using namespace ProviderTests;
using namespace std::chrono_literals;

namespace {

Runtime::HttpRequest get(std::string url) {
    Runtime::HttpRequest request;
    request.url = std::move(url);
    request.timeout = std::chrono::seconds(10);
    return request;
}

class LoaderTest : public ::testing::Test {
protected:
    Runtime::HttpResponse load(const std::string& path, size_t limit) {
        Runtime::HttpRequest request;
        request.url = server.url(path);
        request.timeout = 5s;
        return TestSupport::runCoroutine(context, loader.data(request, limit));
    }

    std::string failureOf(const std::string& path, size_t limit) {
        try {
            load(path, limit);
        } catch (const BoundedURLSessionDataError& error) {
            return error.description();
        }
        return "no failure";
    }

    // Answers after `released` is raised (or the server stops); counts the requests that arrived.
    void routeHeldAnswer(const std::string& path) {
        server.route(path, [this](const auto&, const auto& send) {
            while (!server.isStopping() && released.load() <= 0) {
                std::this_thread::sleep_for(5ms);
            }
            --released;
            send(httpAnswer(200, "held"));
        });
    }

    asio::io_context context;
    TestSupport::TestHttpServer server;
    BoundedURLSessionDataLoader loader{2};
    std::atomic<int> released{0};
};

} // namespace

TEST_F(LoaderTest, LimitHoldsForAnnouncedAndStreamedBodies) {
    server.respond("/exact", 200, std::string(1024, 'a'));
    server.respond("/over", 200, std::string(1025, 'a'));
    server.route("/streamed", [](const auto&, const auto& send) {
        send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
        for (int i = 0; i < 40; ++i) {
            send("100\r\n" + std::string(256, 'b') + "\r\n");
        }
        send("0\r\n\r\n");
    });
    EXPECT_EQ(load("/exact", 1024).body.size(), 1024u);
    EXPECT_EQ(failureOf("/over", 1024), "Provider response exceeds the 1 KiB safety limit.");
    EXPECT_EQ(failureOf("/streamed", 4096), "Provider response exceeds the 4 KiB safety limit.");
    EXPECT_EQ(load("/streamed", 40 * 256).body.size(), 40u * 256u);
}

TEST_F(LoaderTest, RedirectIsTheAnswer) {
    server.respond("/moved", 302, "", "Location: /elsewhere\r\n");
    server.respond("/elsewhere", 200, "followed");
    const auto response = load("/moved", 1024);
    EXPECT_EQ(response.status, 302);
    EXPECT_EQ(server.requestCount(), 1);
}

TEST_F(LoaderTest, ConcurrentCallsGetTheirOwnBodies) {
    for (int i = 0; i < 4; ++i) {
        server.respond("/body" + std::to_string(i), 200, std::string(100 + i, static_cast<char>('a' + i)));
    }
    server.respond("/huge", 200, std::string(5000, 'x'));
    std::vector<std::shared_ptr<Started<Runtime::HttpResponse>>> calls;
    for (int i = 0; i < 4; ++i) {
        calls.push_back(start<Runtime::HttpResponse>(
            context, [this, i] { return loader.data(get(server.url("/body" + std::to_string(i))), 1024); }));
    }
    auto huge =
        start<Runtime::HttpResponse>(context, [this] { return loader.data(get(server.url("/huge")), 1024); });
    ASSERT_TRUE(runUntil(context, [&] {
        return huge->isDone &&
               std::all_of(calls.begin(), calls.end(), [](const auto& c) { return c->isDone; });
    }));
    EXPECT_TRUE(huge->error);
    for (int i = 0; i < 4; ++i) {
        ASSERT_FALSE(calls[i]->error) << i;
        EXPECT_EQ(calls[i]->value->body, std::string(100 + i, static_cast<char>('a' + i)));
    }
}

TEST_F(LoaderTest, AtMostTwoRequestsPerHostAtOnce) {
    routeHeldAnswer("/held");
    std::vector<std::shared_ptr<Started<Runtime::HttpResponse>>> calls;
    for (int i = 0; i < 3; ++i) {
        calls.push_back(start<Runtime::HttpResponse>(
            context, [this] { return loader.data(get(server.url("/held")), 1024); }));
    }
    ASSERT_TRUE(runUntil(context, [&] { return server.requestCount() == 2; }));
    runUntil(
        context, [] { return false; }, 200ms);
    EXPECT_EQ(server.requestCount(), 2); // the third waits for a free place

    // Cancelling the waiting call frees nothing and ends it at once.
    calls[2]->task.cancel();
    ASSERT_TRUE(runUntil(context, [&] { return calls[2]->isDone; }));
    EXPECT_THROW(std::rethrow_exception(calls[2]->error), Runtime::CancellationError);

    auto fourth =
        start<Runtime::HttpResponse>(context, [this] { return loader.data(get(server.url("/held")), 1024); });
    released = 1;
    ASSERT_TRUE(runUntil(context, [&] { return server.requestCount() == 3; }));
    released = 10;
    ASSERT_TRUE(runUntil(context, [&] { return calls[0]->isDone && calls[1]->isDone && fourth->isDone; }));
    EXPECT_EQ(fourth->value->body, "held");
}

TEST_F(LoaderTest, CancellationEndsTheTransfer) {
    routeHeldAnswer("/stalled");
    auto call = start<Runtime::HttpResponse>(
        context, [this] { return loader.data(get(server.url("/stalled")), 1024); });
    ASSERT_TRUE(runUntil(context, [&] { return server.requestCount() == 1; }));
    const auto cancelledAt = std::chrono::steady_clock::now();
    call->task.cancel();
    ASSERT_TRUE(runUntil(
        context, [&] { return call->isDone; }, 3s));
    EXPECT_LT(std::chrono::steady_clock::now() - cancelledAt, 2s);
    EXPECT_THROW(std::rethrow_exception(call->error), Runtime::CancellationError);

    // Cancelled before the transfer exists: no request is made at all.
    auto early = start<Runtime::HttpResponse>(context, [this]() -> asio::awaitable<Runtime::HttpResponse> {
        co_await Runtime::sleepForUncancellable(100ms);
        co_return co_await loader.data(get(server.url("/stalled")), 1024);
    });
    early->task.cancel();
    ASSERT_TRUE(runUntil(
        context, [&] { return early->isDone; }, 3s));
    EXPECT_THROW(std::rethrow_exception(early->error), Runtime::CancellationError);
    EXPECT_EQ(server.requestCount(), 1);
}

TEST_F(LoaderTest, TransportErrorsPassThrough) {
    Runtime::HttpRequest request;
    request.url = "http://127.0.0.1:1/v1/models"; // nothing listens on port 1
    request.timeout = 5s;
    EXPECT_THROW(TestSupport::runCoroutine(context, loader.data(request, 1024)), Runtime::HttpError);
}
