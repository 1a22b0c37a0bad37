// The engine's video socket at 60 fps and 1170x2532 read by the application's reader and frame
// presenter (acknowledging as soon as a frame is taken): produced-to-acknowledged latency as the
// engine measures it, frames per second, and this process's CPU share (the reader's cost).
#include "BenchSupport.h"

#include "DeviceKit/TunnelSession.h"
#include "MediaKit/VideoSocketReader.h"
#include "Platform/PreferenceStore.h"
#include "Runtime/Executors.h"
#include "Runtime/Task.h"
#include "Support/SimpleHttp.h"
#include "VedevaveApp/Video/FramePresenter.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <sys/resource.h>
#include <future>
#include <thread>

namespace {
double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const auto folder = Bench::usePrivateEngine();
    Platform::Environment::set("VEDEVAVE_CAPTURE_FPS", "60");
    Platform::Environment::set("VEDEVAVE_SIM_SIZE", "1170x2532");
    const int port = TestSupport::freePort();
    auto session = DeviceKit::TunnelSession::create({"BENCH-VIDEO", "USB", "Bench", std::nullopt, std::nullopt},
                                                    port - 1);
    session->start();
    std::thread poller([] { Runtime::runMain(); });
    std::promise<void> ready;
    Runtime::startOnMain(session->waitUntilReady(std::chrono::seconds(30)),
                         [&ready](std::exception_ptr) { ready.set_value(); });
    ready.get_future().wait();
    const auto endpoints = session->rsdSession();
    if (!endpoints) {
        std::fprintf(stderr, "engine published no endpoints\n");
        return 1;
    }

    MediaKit::VideoSocketReader reader(endpoints->videoSocketPath);
    VedevaveApp::FramePresenter presenter(
        [&reader](uint32_t seq, uint64_t producedNs) { reader.acknowledge(seq, producedNs); });
    reader.onBind = [&presenter](const MediaKit::RingBinding& binding) { presenter.bind(binding); };
    uint64_t checksum = 0;
    reader.onFrame = [&presenter, &checksum](const MediaKit::SlotFrame& frame) {
        presenter.offer(frame);
        // Touch one pixel per frame so the mapping is really read.
        presenter.presentPending([&checksum](const MediaKit::RingBinding& binding, const MediaKit::SlotFrame& f) {
            checksum += binding.slotAddress(f.slot)[0];
        });
    };
    reader.start();
    std::this_thread::sleep_for(std::chrono::seconds(1)); // warm up
    TestSupport::httpPost(port, "/debug/fault", R"({"clear":true})");
    const uint64_t framesBefore = reader.framesReceived();
    const double cpuBefore = cpuSeconds();
    const auto started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double cpu = cpuSeconds() - cpuBefore;
    const uint64_t frames = reader.framesReceived() - framesBefore;
    const auto state = nlohmann::json::parse(TestSupport::httpGet(port, "/debug/state"), nullptr, false);
    reader.stop();
    session->stop();
    Runtime::stopMain();
    poller.join();
    std::filesystem::remove_all(folder);

    const auto& video = state["channels"]["video"];
    std::printf("video socket 1170x2532@60: %.1f fps received, produced-to-acknowledged p50 %.2f ms p95 %.2f ms "
                "(engine's window), end-to-end p95 %.2f ms, reader process CPU %.1f%% of one core, skipped %d\n",
                static_cast<double>(frames) / wall, video["ackLatency"]["p50Ms"].get<double>(),
                video["ackLatency"]["p95Ms"].get<double>(), reader.endToEndLatency().snapshot().p95Ms,
                100.0 * cpu / wall, video["framesSkipped"].get<int>());
    return checksum == 0xFFFFFFFF ? 2 : 0;
}
