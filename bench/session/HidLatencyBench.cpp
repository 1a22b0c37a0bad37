// Time from ControlClient::touch to the arrival of its bytes at the engine's HID socket, over
// 10,000 touches sent at pointer rate (one every 500 us). The socket is served in this process so
// both clocks are the same; the client path is the application's own.
#include "BenchSupport.h"

#include "ControlKit/ControlClient.h"
#include "Runtime/Clock.h"
#include "Runtime/UnixSocket.h"

#include <atomic>
#include <cstdio>
#include <thread>

int main() {
    const std::string path = "/tmp/vdv-hidbench-" + std::to_string(::getpid()) + ".sock";
    ::unlink(path.c_str());
    int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    auto address = Runtime::unixAddress(path);
    ::bind(listener, reinterpret_cast<const sockaddr*>(&*address), sizeof *address);
    ::listen(listener, 1);

    constexpr int count = 10'000;
    std::vector<uint64_t> sentAt(count), arrivedAt(count);
    std::thread engine([&] {
        int fd = ::accept(listener, nullptr, nullptr);
        char message[6];
        for (int i = 0; i < count; ++i) {
            if (!Runtime::receiveExact(fd, message, sizeof message)) {
                break;
            }
            arrivedAt[static_cast<size_t>(i)] = Runtime::monotonicNow();
        }
        ::close(fd);
    });

    ControlKit::ControlClient control("http://127.0.0.1:1");
    control.setHidSocketPath(path);
    const uint64_t start = Runtime::monotonicNow();
    for (int i = 0; i < count; ++i) {
        sentAt[static_cast<size_t>(i)] = Runtime::monotonicNow();
        control.touch(i + 1 == count ? "release" : "contact", i % 65536, 1000);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    engine.join();
    const double seconds = static_cast<double>(Runtime::monotonicNow() - start) / 1e9;
    std::vector<double> micros;
    for (int i = 0; i < count; ++i) {
        if (arrivedAt[static_cast<size_t>(i)] != 0) {
            micros.push_back(static_cast<double>(arrivedAt[static_cast<size_t>(i)] - sentAt[static_cast<size_t>(i)]) / 1e3);
        }
    }
    ::close(listener);
    ::unlink(path.c_str());
    std::printf("HID touch to engine receipt: p50 %.1f us, p99 %.1f us, max %.1f us over %zu messages (%.0f msg/s offered)\n",
                Bench::percentile(micros, 0.5), Bench::percentile(micros, 0.99), Bench::percentile(micros, 1.0),
                micros.size(), static_cast<double>(count) / seconds);
    return micros.size() == count ? 0 : 1;
}
