#include "Runtime/Executors.h"

#include <atomic>
#include <pthread.h>

namespace Runtime {

namespace {
std::atomic<std::thread::id> mainThreadId{};

asio::executor_work_guard<asio::io_context::executor_type>& mainGuard() {
    static auto guard = asio::make_work_guard(mainContext());
    return guard;
}
} // namespace

asio::io_context& mainContext() {
    static asio::io_context context{1};
    return context;
}

asio::any_io_executor mainExecutor() { return mainContext().get_executor(); }

void runMain() {
    mainThreadId = std::this_thread::get_id();
    mainGuard(); // keep run() alive while nothing is queued
    mainContext().restart();
    mainContext().run();
}

void stopMain() { mainContext().stop(); }

bool isOnMainThread() { return std::this_thread::get_id() == mainThreadId.load(); }

void postToMain(std::function<void()> work) { asio::post(mainContext(), std::move(work)); }

asio::thread_pool& backgroundPool() {
    static asio::thread_pool pool{2};
    return pool;
}

void setCurrentThreadName(const std::string& name) {
    pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
}

SerialQueue::SerialQueue(std::string name)
    : name_(std::move(name)), context_(1), guard_(asio::make_work_guard(context_)) {
    thread_ = std::thread([this] {
        setCurrentThreadName(name_);
        context_.run();
    });
}

SerialQueue::~SerialQueue() {
    guard_.reset();
    if (thread_.joinable()) {
        thread_.join();
    }
}

} // namespace Runtime
