#include "VedevaveApp/Input/MainScheduler.h"

#include "Runtime/Clock.h"

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

namespace VedevaveApp {

uint64_t AsioMainScheduler::monotonicNanoseconds() const {
    return Runtime::monotonicNow();
}

ScheduledTask AsioMainScheduler::schedule(std::chrono::nanoseconds delay, std::function<void()> work) {
    auto state = std::make_shared<ScheduledTask::State>();
    auto timer = std::make_shared<asio::steady_timer>(context_, delay);
    // A cancelled task's timer still expires; it then finds the task finished and does nothing.
    timer->async_wait([timer, state, work = std::move(work)](const std::error_code& error) {
        if (!error) {
            ScheduledTask::run(state, work);
        }
    });
    return ScheduledTask(state);
}

} // namespace VedevaveApp
