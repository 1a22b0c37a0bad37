// The executors every component runs on: the one main executor (an io_context run by one thread),
// a small background pool for CPU work, and named serial queues for work that must stay in order.
#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/thread_pool.hpp>

#include <functional>
#include <string>
#include <thread>

namespace Runtime {

// The main executor's context. Connection states, the controller, route handling, macros and the
// workflow player all live here. Created on first use; run by `runMain`.
asio::io_context& mainContext();
asio::any_io_executor mainExecutor();

// Runs the main executor on the calling thread until `stopMain` is called. The calling thread
// becomes "the main thread" for `isOnMainThread`.
void runMain();
void stopMain();
bool isOnMainThread();

// Queues `work` to run on the main executor. Any thread may call.
void postToMain(std::function<void()> work);

// Two threads for OCR, encoding and other CPU-bound work.
asio::thread_pool& backgroundPool();

// One named thread running its own io_context: work posted to it runs in order. The thread name is
// visible to debuggers and `top -H` (cut to 15 characters by the kernel).
class SerialQueue {
public:
    explicit SerialQueue(std::string name);
    ~SerialQueue(); // finishes the queued work, then joins
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& name() const { return name_; }
    asio::io_context& context() { return context_; }
    void post(std::function<void()> work) { asio::post(context_, std::move(work)); }
    bool isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    std::string name_;
    asio::io_context context_;
    asio::executor_work_guard<asio::io_context::executor_type> guard_;
    std::thread thread_;
};

// Names the calling thread.
void setCurrentThreadName(const std::string& name);

} // namespace Runtime
