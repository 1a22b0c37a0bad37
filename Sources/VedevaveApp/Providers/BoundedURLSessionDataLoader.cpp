#include "VedevaveApp/Providers/BoundedURLSessionDataLoader.h"

#include "Runtime/Task.h"

#include <algorithm>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <curl/curl.h>
#include <deque>
#include <map>
#include <mutex>

namespace VedevaveApp {

BoundedURLSessionDataError::BoundedURLSessionDataError(Kind kind, size_t limit) : kind_(kind), limit_(limit) {
    description_ = kind == Kind::responseTooLarge ? "Provider response exceeds the " +
                                                        std::to_string(limit / 1024) + " KiB safety limit."
                                                  : "Provider returned no HTTP response.";
}

namespace {

// "scheme://host:port" of a URL, the unit the connection limit counts in. Unparsable URLs share
// one key; the HTTP client reports their real error.
std::string originKey(const std::string& url) {
    CURLU* handle = curl_url();
    std::string key = "?";
    if (handle && curl_url_set(handle, CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK) {
        char* scheme = nullptr;
        char* host = nullptr;
        char* port = nullptr;
        curl_url_get(handle, CURLUPART_SCHEME, &scheme, 0);
        curl_url_get(handle, CURLUPART_HOST, &host, 0);
        curl_url_get(handle, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT);
        key = std::string(scheme ? scheme : "") + "://" + (host ? host : "") + ":" + (port ? port : "");
        curl_free(scheme);
        curl_free(host);
        curl_free(port);
    }
    curl_url_cleanup(handle);
    return key;
}

} // namespace

// Counts the requests talking to each origin and queues the ones over the limit in arrival order.
struct BoundedURLSessionDataLoader::ConnectionLimit : std::enable_shared_from_this<ConnectionLimit> {
    struct Waiter {
        explicit Waiter(asio::any_io_executor executor)
            : timer(std::move(executor), asio::steady_timer::time_point::max()) {}
        asio::steady_timer timer; // touched on its own executor only
        bool isGranted = false;   // guarded by mutex
    };
    struct Origin {
        int active = 0;
        std::deque<std::shared_ptr<Waiter>> waiting;
    };

    // Releases its place when destroyed, handing it to the first waiter.
    class Lease {
    public:
        Lease(std::shared_ptr<ConnectionLimit> owner, std::string key)
            : owner_(std::move(owner)), key_(std::move(key)) {}
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        ~Lease() { owner_->release(key_); }

    private:
        std::shared_ptr<ConnectionLimit> owner_;
        std::string key_;
    };

    explicit ConnectionLimit(int maximum) : maximum(std::max(1, maximum)) {}

    asio::awaitable<std::unique_ptr<Lease>> acquire(std::string key) {
        auto executor = co_await asio::this_coro::executor;
        std::shared_ptr<Waiter> waiter;
        {
            std::lock_guard lock(mutex);
            Origin& origin = origins[key];
            if (origin.active < maximum && origin.waiting.empty()) {
                ++origin.active;
                co_return std::make_unique<Lease>(shared_from_this(), key);
            }
            waiter = std::make_shared<Waiter>(executor);
            origin.waiting.push_back(waiter);
        }
        try {
            // Ends when `release` hands this waiter a place, or when the caller is cancelled.
            co_await waiter->timer.async_wait(asio::use_awaitable);
        } catch (const std::system_error&) {
        }
        {
            std::lock_guard lock(mutex);
            if (!waiter->isGranted) {
                auto& queue = origins[key].waiting;
                queue.erase(std::remove(queue.begin(), queue.end(), waiter), queue.end());
                dropIfIdle(key);
                throw Runtime::CancellationError();
            }
        }
        co_return std::make_unique<Lease>(shared_from_this(), key);
    }

    void release(const std::string& key) {
        std::shared_ptr<Waiter> next;
        {
            std::lock_guard lock(mutex);
            Origin& origin = origins[key];
            if (origin.waiting.empty()) {
                --origin.active;
                dropIfIdle(key);
            } else {
                // The place passes straight to the next waiter; `active` stays the same.
                next = std::move(origin.waiting.front());
                origin.waiting.pop_front();
                next->isGranted = true;
            }
        }
        if (next) {
            auto executor = next->timer.get_executor();
            asio::post(executor, [next] { next->timer.cancel(); });
        }
    }

    void dropIfIdle(const std::string& key) { // mutex held
        auto found = origins.find(key);
        if (found != origins.end() && found->second.active == 0 && found->second.waiting.empty()) {
            origins.erase(found);
        }
    }

    const int maximum;
    std::mutex mutex;
    std::map<std::string, Origin> origins; // guarded by mutex
};

BoundedURLSessionDataLoader::BoundedURLSessionDataLoader(int maximumConnectionsPerHost,
                                                         Runtime::HttpClient* client)
    : client_(client ? *client : Runtime::HttpClient::shared()),
      limit_(std::make_shared<ConnectionLimit>(maximumConnectionsPerHost)) {}

BoundedURLSessionDataLoader::~BoundedURLSessionDataLoader() = default;

asio::awaitable<Runtime::HttpResponse> BoundedURLSessionDataLoader::data(Runtime::HttpRequest request,
                                                                         size_t maximumBytes) {
    // A cancellation that arrived before the transfer exists must still end the call.
    co_await Runtime::checkCancellation();
    auto lease = co_await limit_->acquire(originKey(request.url));
    co_await Runtime::checkCancellation();

    request.maxBodyBytes = std::max<size_t>(1, maximumBytes);
    Runtime::HttpResponse response;
    try {
        response = co_await client_.perform(std::move(request));
    } catch (const Runtime::HttpError& error) {
        if (error.kind() == Runtime::HttpError::Kind::tooLarge) {
            throw BoundedURLSessionDataError::responseTooLarge(maximumBytes);
        }
        throw;
    }
    if (response.status <= 0) {
        throw BoundedURLSessionDataError::missingResponse();
    }
    co_return response;
}

} // namespace VedevaveApp
