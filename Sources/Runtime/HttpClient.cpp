#include "Runtime/HttpClient.h"

#include "Runtime/Task.h"

#include <asio/associated_cancellation_slot.hpp>
#include <asio/associated_executor.hpp>
#include <asio/async_result.hpp>
#include <asio/execution/outstanding_work.hpp>
#include <asio/post.hpp>
#include <asio/prefer.hpp>
#include <asio/use_awaitable.hpp>

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace Runtime {

namespace {

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

// One transfer, shared between the awaiting side and the curl thread.
struct Transfer {
    HttpRequest request;
    HttpResponse response;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    std::atomic<bool> cancelRequested{false};
    bool tooLarge = false;
    std::function<void(std::exception_ptr, HttpResponse)> complete; // posts to the awaiting executor

    ~Transfer() {
        if (headerList) {
            curl_slist_free_all(headerList);
        }
        if (easy) {
            curl_easy_cleanup(easy);
        }
    }
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    const auto& limit = transfer->request.maxBodyBytes;
    if (limit && transfer->response.body.size() + bytes > *limit) {
        transfer->tooLarge = true;
        return 0; // aborts the transfer with a write error
    }
    transfer->response.body.append(data, bytes);
    return bytes;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    std::string_view line(data, bytes);
    if (line.starts_with("HTTP/")) {
        transfer->response.headers.clear(); // a new response (after 100 Continue, say)
        return bytes;
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) {
        return bytes;
    }
    std::string name = lowered(trimmed(line.substr(0, colon)));
    std::string value(trimmed(line.substr(colon + 1)));
    if (name == "content-length" && transfer->request.maxBodyBytes) {
        unsigned long long announced = 0;
        auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), announced);
        if (error == std::errc() && announced > *transfer->request.maxBodyBytes) {
            transfer->tooLarge = true;
            return 0;
        }
    }
    transfer->response.headers.emplace_back(std::move(name), std::move(value));
    return bytes;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(user);
    return transfer->cancelRequested ? 1 : 0;
}

} // namespace

struct HttpClient::Impl {
    CURLM* multi = nullptr;
    std::thread thread;
    std::mutex mutex;
    std::deque<std::shared_ptr<Transfer>> incoming; // guarded by mutex
    bool stopping = false;                           // guarded by mutex
    std::vector<std::shared_ptr<Transfer>> active;   // curl thread only

    void wake() { curl_multi_wakeup(multi); }

    void run() {
        while (true) {
            {
                std::lock_guard lock(mutex);
                if (stopping) {
                    break;
                }
                while (!incoming.empty()) {
                    auto transfer = std::move(incoming.front());
                    incoming.pop_front();
                    curl_multi_add_handle(multi, transfer->easy);
                    active.push_back(std::move(transfer));
                }
            }
            // Cancelled transfers end now rather than at their next progress callback.
            for (size_t i = 0; i < active.size();) {
                if (active[i]->cancelRequested) {
                    finish(active[i], CURLE_ABORTED_BY_CALLBACK);
                    active.erase(active.begin() + static_cast<long>(i));
                } else {
                    ++i;
                }
            }
            int running = 0;
            curl_multi_perform(multi, &running);
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
                if (message->msg != CURLMSG_DONE) {
                    continue;
                }
                auto found = std::find_if(active.begin(), active.end(),
                                          [&](const auto& t) { return t->easy == message->easy_handle; });
                if (found != active.end()) {
                    auto transfer = *found;
                    active.erase(found);
                    finish(transfer, message->data.result);
                }
            }
            curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
        }
        for (auto& transfer : active) {
            finish(transfer, CURLE_ABORTED_BY_CALLBACK);
        }
        active.clear();
    }

    void finish(const std::shared_ptr<Transfer>& transfer, CURLcode code) {
        curl_multi_remove_handle(multi, transfer->easy);
        std::exception_ptr error;
        if (transfer->cancelRequested) {
            error = std::make_exception_ptr(CancellationError());
        } else if (transfer->tooLarge) {
            error = std::make_exception_ptr(HttpError(HttpError::Kind::tooLarge, "response too large"));
        } else if (code != CURLE_OK) {
            std::string detail = transfer->errorBuffer[0] ? transfer->errorBuffer : curl_easy_strerror(code);
            HttpError::Kind kind = HttpError::Kind::transport;
            if (code == CURLE_OPERATION_TIMEDOUT) {
                kind = HttpError::Kind::timedOut;
            } else if (code == CURLE_COULDNT_CONNECT || code == CURLE_COULDNT_RESOLVE_HOST) {
                kind = HttpError::Kind::cannotConnect;
            } else if (code == CURLE_URL_MALFORMAT || code == CURLE_UNSUPPORTED_PROTOCOL) {
                kind = HttpError::Kind::invalidRequest;
            }
            error = std::make_exception_ptr(HttpError(kind, detail));
        } else {
            curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &transfer->response.status);
        }
        auto complete = std::move(transfer->complete);
        complete(error, std::move(transfer->response));
    }
};

void initializeHttp() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HttpError::HttpError(Kind kind, std::string detail) : std::runtime_error(std::move(detail)), kind_(kind) {}

std::optional<std::string> HttpResponse::header(std::string_view name) const {
    const std::string wanted = lowered(name);
    for (const auto& [key, value] : headers) {
        if (key == wanted) {
            return value;
        }
    }
    return std::nullopt;
}

HttpClient& HttpClient::shared() {
    static HttpClient client;
    return client;
}

HttpClient::HttpClient() : impl_(std::make_unique<Impl>()) {
    initializeHttp();
    impl_->multi = curl_multi_init();
    impl_->thread = std::thread([impl = impl_.get()] {
        pthread_setname_np(pthread_self(), "vedevave.http");
        impl->run();
    });
}

HttpClient::~HttpClient() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->wake();
    impl_->thread.join();
    curl_multi_cleanup(impl_->multi);
}

asio::awaitable<HttpResponse> HttpClient::perform(HttpRequest request) {
    auto transfer = std::make_shared<Transfer>();
    transfer->request = std::move(request);
    CURL* easy = curl_easy_init();
    if (!easy) {
        throw HttpError(HttpError::Kind::transport, "cannot create a transfer");
    }
    transfer->easy = easy;
    const HttpRequest& r = transfer->request;
    curl_easy_setopt(easy, CURLOPT_URL, r.url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(r.timeout.count()));
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->errorBuffer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer.get());
    // The progress callback only runs with NOPROGRESS off; it aborts cancelled transfers.
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    if (r.method == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else if (r.method != "GET" || !r.body.empty()) {
        if (r.method != "POST") {
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, r.method.c_str());
        }
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, r.body.data());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.body.size()));
    }
    for (const auto& [name, value] : r.headers) {
        transfer->headerList = curl_slist_append(transfer->headerList, (name + ": " + value).c_str());
    }
    // No "Expect: 100-continue" round trip for larger bodies.
    transfer->headerList = curl_slist_append(transfer->headerList, "Expect:");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headerList);

    Impl* impl = impl_.get();
    auto initiation = [impl, transfer](auto handler) {
        auto executor = asio::get_associated_executor(handler);
        auto slot = asio::get_associated_cancellation_slot(handler);
        if (slot.is_connected()) {
            slot.assign([transfer, impl](asio::cancellation_type) {
                // Never touch the curl handle from here: flag it and wake the curl thread.
                transfer->cancelRequested = true;
                impl->wake();
            });
        }
        auto work = asio::prefer(executor, asio::execution::outstanding_work.tracked);
        auto shared = std::make_shared<decltype(handler)>(std::move(handler));
        transfer->complete = [work, shared, slot](std::exception_ptr error, HttpResponse response) mutable {
            asio::post(work, [shared, slot, error, response = std::move(response)]() mutable {
                if (slot.is_connected()) {
                    slot.clear();
                }
                (*shared)(error, std::move(response));
            });
        };
        {
            std::lock_guard lock(impl->mutex);
            impl->incoming.push_back(transfer);
        }
        impl->wake();
    };
    co_return co_await asio::async_initiate<decltype(asio::use_awaitable), void(std::exception_ptr, HttpResponse)>(
        initiation, asio::use_awaitable);
}

} // namespace Runtime
