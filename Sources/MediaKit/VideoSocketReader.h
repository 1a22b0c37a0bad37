// Reads the engine's "KWVS/3" video socket: connects, says hello, maps the shared-memory frame ring
// the engine binds, hands each frame notice to the application and sends its acknowledgement back.
// Runs its own "vedevave-kwvs" thread, which calls `onBind` and `onFrame`; `acknowledge` may be
// called from any thread. The reader never copies pixels.
#pragma once

#include "MediaKit/LatencyWindow.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace MediaKit {

struct RingBinding {
    const uint8_t* base = nullptr;
    int64_t mappedBytes = 0;
    int64_t slots = 0;
    int64_t headerBytes = 0;
    int64_t slotBytes = 0;
    int64_t bytesPerRow = 0;
    int64_t width = 0;
    int64_t height = 0;

    const uint8_t* slotAddress(int64_t slot) const { return base + headerBytes + slot * slotBytes; }
};

struct SlotFrame {
    uint32_t seq = 0;
    int64_t slot = 0;
    uint64_t producedNs = 0; // 0: unknown
};

// The protocol's byte layouts, pure.
namespace Kwvs {
inline constexpr uint8_t helloKind = 0x01;
inline constexpr uint8_t bindKind = 0x11;
inline constexpr uint8_t frameKind = 0x20;
inline constexpr uint8_t acknowledgeKind = 0x30;
inline constexpr size_t bindFixedBytes = 26;
inline constexpr size_t frameBytes = 14;

std::array<uint8_t, 9> hello();
std::array<uint8_t, 13> acknowledge(uint32_t seq, uint64_t displayedNs);

struct BindHeader {
    uint16_t slots;
    uint32_t bytesPerRow;
    uint32_t slotBytes;
    uint16_t width;
    uint16_t height;
    uint32_t headerBytes;
    uint16_t pathLength;
};
// Nothing when the magic is not "KWV3".
std::optional<BindHeader> parseBind(const uint8_t (&fixed)[bindFixedBytes]);
SlotFrame parseFrame(const uint8_t (&bytes)[frameBytes]);
} // namespace Kwvs

class VideoSocketReader {
public:
    explicit VideoSocketReader(std::string path);
    ~VideoSocketReader(); // stops first

    // Set before `start`.
    std::function<void(const RingBinding&)> onBind;
    std::function<void(const SlotFrame&)> onFrame;

    const std::string& path() const { return path_; }
    bool isAvailable() const;
    const char* codecName() const { return "kwvs3"; }
    uint64_t framesReceived() const { return framesReceived_; }
    LatencyWindow& endToEndLatency() { return endToEndLatency_; }

    void start();
    // Ends the current session, joins the thread and releases the ring. The ring's memory must no
    // longer be read once this returns.
    void stop();
    // Sends the acknowledgement of a notice; dropped silently while disconnected.
    void acknowledge(uint32_t seq, uint64_t displayedNs);

private:
    bool runSession();
    bool handleBind(int descriptor);
    bool handleFrame();
    void releaseRing();
    void setSocket(int fd);

    const std::string path_;
    LatencyWindow endToEndLatency_{512};
    std::atomic<uint64_t> framesReceived_{0};
    std::atomic<bool> stopFlag_{true};
    std::thread thread_;
    std::mutex waitMutex_;
    std::condition_variable wake_; // ends the pause between sessions early on stop

    std::mutex socketLock_;
    int socketFd_ = -1; // guarded by socketLock_
    // Reader thread only (and stop, after the thread has ended).
    int sessionFd_ = -1;
    uint8_t* ring_ = nullptr;
    size_t ringSize_ = 0;
    int64_t ringSlots_ = 0;
    int ringFd_ = -1;
};

} // namespace MediaKit
