// Whole-process benchmark of the HID socket: writes 10,000 touch messages back to back, then reads
// /debug/state until all are applied and checks they were applied in order with their
// coordinates. Prints messages per second from the first write to the last message applied.
#include "BenchSupport.h"

using namespace EngineTest;

int main() {
    EngineBench::useBuiltEngine();
    constexpr int count = 10000;
    EngineLaunch launch;
    launch.size = "";
    EngineProcess engine(launch);
    UnixClient hid(engine.hidSocketPath());
    if (!hid.isConnected()) {
        std::fprintf(stderr, "no HID socket:\n%s", engine.log().c_str());
        return 1;
    }
    std::string stream;
    stream.reserve(count * 6);
    for (int i = 0; i < count; ++i) {
        // Strokes in the lower middle of the wallpaper: contact x=i ... every 100th lifts.
        const bool contact = i % 100 != 99;
        const uint16_t x = static_cast<uint16_t>(i);
        const uint16_t y = static_cast<uint16_t>(40000 + i % 1000);
        stream += {'\x01',
                   static_cast<char>(contact ? 1 : 0),
                   static_cast<char>(x & 0xff),
                   static_cast<char>(x >> 8),
                   static_cast<char>(y & 0xff),
                   static_cast<char>(y >> 8)};
    }
    const auto start = std::chrono::steady_clock::now();
    // One message per write, as the application's client does.
    for (int i = 0; i < count; ++i) {
        if (!hid.send(stream.substr(static_cast<size_t>(i) * 6, 6))) {
            std::fprintf(stderr, "write %d failed\n", i);
            return 1;
        }
    }
    const auto written = std::chrono::steady_clock::now();
    nlohmann::json state;
    for (;;) {
        state = httpRequest(engine.port(), "GET", "/debug/state?touches=0").json();
        if (state.value("touchCount", 0) >= count) {
            break;
        }
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(30)) {
            std::fprintf(stderr, "only %d of %d applied\n", state.value("touchCount", 0), count);
            return 1;
        }
        usleep(500);
    }
    const auto applied = std::chrono::steady_clock::now();
    state = httpRequest(engine.port(), "GET", "/debug/state?touches=10000").json();
    bool inOrder = state["touchCount"] == count && state["touches"].size() == count;
    for (int i = 0; inOrder && i < count; ++i) {
        const auto& t = state["touches"][static_cast<size_t>(i)];
        inOrder = t["i"] == i && t["x"] == i && t["y"] == 40000 + i % 1000 && t["contact"] == (i % 100 != 99);
    }
    const double writeSeconds = std::chrono::duration<double>(written - start).count();
    const double totalSeconds = std::chrono::duration<double>(applied - start).count();
    std::printf("engine_hid_bench: %d touch messages, written in %.1f ms, all applied after %.1f ms: %.0f "
                "messages/s; "
                "in order with their coordinates: %s\n",
                count, writeSeconds * 1e3, totalSeconds * 1e3, count / totalSeconds, inOrder ? "yes" : "NO");
    return inOrder ? 0 : 1;
}
