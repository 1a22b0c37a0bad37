// Whole-process benchmark of the KWVS/3 video socket: starts the engine at 1170x2532 and 60 fps,
// connects as a client that acknowledges every notice at once, and reports frames per second,
// produced-to-acknowledged latency (p50/p95, measured by the client when it acknowledges and by
// the engine when the acknowledgement arrives) and the engine's CPU share — first with a static
// screen, then while the screen changes four times a second.
//   engine_video_bench [seconds per phase, default 10]
#include "BenchSupport.h"

using namespace EngineTest;

namespace {

struct Phase {
    int frames = 0;
    int engineSent = 0; // the engine's own count over the phase
    double seconds = 0;
    double cpu = 0;
    std::vector<double> latencyMs;
};

Phase run(EngineProcess& engine, KwvsClient& client, double seconds, bool changeScreen) {
    Phase phase;
    const auto sentSoFar = [&engine] {
        return engine.debugState("touches=0&keys=0&buttons=0")["channels"]["video"]["framesSent"].get<int>();
    };
    const int sentStart = sentSoFar();
    const double cpuStart = EngineBench::cpuSeconds(engine.pid());
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    auto nextChange = start;
    bool onApp = false;
    while (std::chrono::steady_clock::now() < end) {
        if (changeScreen && std::chrono::steady_clock::now() >= nextChange) {
            // The HTTP call is on this thread: a little of its time delays the acknowledgements.
            if (onApp) {
                engine.post("/button", R"({"name":"home","state":"press"})");
            } else {
                engine.post("/open-app", R"({"name":"Notes"})");
            }
            onApp = !onApp;
            nextChange += std::chrono::milliseconds(250);
        }
        BindMessage bind;
        FrameMessage frame;
        const auto kind = client.readMessage(bind, frame, std::chrono::milliseconds(500));
        if (!kind) {
            break;
        }
        if (*kind != 0x20) {
            continue;
        }
        const uint64_t now = monotonicNowNs();
        client.sendAck(frame.seq, frame.producedNs);
        ++phase.frames;
        if (now > frame.producedNs) {
            phase.latencyMs.push_back(static_cast<double>(now - frame.producedNs) / 1e6);
        }
    }
    phase.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    phase.cpu = EngineBench::cpuSeconds(engine.pid()) - cpuStart;
    phase.engineSent = sentSoFar() - sentStart;
    return phase;
}

void report(const char* name, const Phase& phase, const nlohmann::json& channel) {
    std::printf(
        "%-8s frames=%d (engine sent %d) in %.2f s: %.2f fps; client produced->ack p50 %.3f ms p95 %.3f ms; "
        "engine ack latency p50 %.3f ms p95 %.3f ms; engine CPU %.1f%% of one core; skipped=%d "
        "slotWrites=%d\n",
        name, phase.frames, phase.engineSent, phase.seconds, phase.frames / phase.seconds,
        EngineBench::percentile(phase.latencyMs, 0.5), EngineBench::percentile(phase.latencyMs, 0.95),
        channel["ackLatency"]["p50Ms"].get<double>(), channel["ackLatency"]["p95Ms"].get<double>(),
        100.0 * phase.cpu / phase.seconds, channel["framesSkipped"].get<int>(),
        channel["slotWrites"].get<int>());
}

} // namespace

int main(int argc, char** argv) {
    EngineBench::useBuiltEngine();
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    EngineLaunch launch;
    launch.size = ""; // the default 1170x2532
    launch.environment = {{"VEDEVAVE_CAPTURE_FPS", "60"}, {"VEDEVAVE_SIM_CAPTURE", "0"}};
    EngineProcess engine(launch);
    if (!engine.isRunning()) {
        std::fprintf(stderr, "engine did not start:\n%s", engine.log().c_str());
        return 1;
    }
    KwvsClient client(engine.videoSocketPath());
    client.sendHello();
    BindMessage bind;
    FrameMessage frame;
    if (client.readMessage(bind, frame).value_or(0) != 0x11 || !client.mapRing(bind)) {
        std::fprintf(stderr, "no bind\n");
        return 1;
    }
    std::printf("engine_video_bench: %ux%u, %u slots, 60 fps requested, %.0f s per phase\n", bind.width,
                bind.height, bind.slots, seconds);
    run(engine, client, 1.0, false); // warm-up: first render, first slot writes
    const Phase still = run(engine, client, seconds, false);
    report("static", still, engine.debugState()["channels"]["video"]);
    const Phase changing = run(engine, client, seconds / 2, true);
    report("changing", changing, engine.debugState()["channels"]["video"]);
    const auto state = engine.debugState("touches=0&keys=0&buttons=0");
    std::printf("renders: %s\nclock: %s\n", state["frames"].dump().c_str(), state["clock"].dump().c_str());
    return 0;
}
