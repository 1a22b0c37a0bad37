// Boot to "connected" (first frame from the video socket) with the simulated engine, repeated;
// prints the median and the spread. Includes the 250 ms readiness polling.
#include "BenchSupport.h"

#include "Platform/PreferenceStore.h"
#include "Runtime/Executors.h"
#include "VedevaveApp/App/HeadlessWindowPort.h"
#include "VedevaveApp/App/SessionController.h"

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
    const auto folder = Bench::usePrivateEngine();
    Platform::PreferenceStore::setShared(std::make_shared<Platform::MemoryPreferenceStore>());
    Platform::Environment::set("VEDEVAVE_CAPTURE_FPS", "60");
    std::vector<double> millis;
    for (int round = 0; round < rounds; ++round) {
        ControlKit::ControlClient control("http://127.0.0.1:8080");
        VedevaveApp::HeadlessWindowPort window;
        VedevaveApp::SessionController::Options options;
        options.httpPort = TestSupport::freePort() - 1;
        VedevaveApp::SessionController sessions(options, control, window);
        const auto started = std::chrono::steady_clock::now();
        sessions.startBoot({"BENCH-BOOT", "USB", "Bench", std::nullopt, std::nullopt});
        auto& context = Runtime::mainContext();
        while (sessions.connectionState().kind != VedevaveApp::ConnectionState::Kind::connected) {
            if (std::chrono::steady_clock::now() - started > std::chrono::seconds(30)) {
                std::fprintf(stderr, "boot did not connect\n");
                return 1;
            }
            context.restart();
            context.run_for(std::chrono::milliseconds(2));
        }
        millis.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count());
    }
    std::filesystem::remove_all(folder);
    std::printf("boot to connected: median %.0f ms, min %.0f ms, max %.0f ms over %d boots\n",
                Bench::percentile(millis, 0.5), Bench::percentile(millis, 0), Bench::percentile(millis, 1), rounds);
    return 0;
}
