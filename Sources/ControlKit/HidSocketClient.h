// Writes touches, buttons, keys and engine commands to the engine's HID socket. Every operation
// returns at once; the writes run in call order on the client's "vedevave.hid" thread, including
// the pauses inside taps and releases, so touches are never reordered, coalesced or dropped
// while the socket works. A failed write drops that message and closes the connection;
// the next message reconnects. Any thread may call. Destroying the client drops queued work.
#pragma once

#include "Runtime/Executors.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace ControlKit {

class HidSocketClient {
public:
    // The shortest hold of a tap, whatever the caller asks for.
    static constexpr uint32_t minimumTapHoldUs = 100'000;
    static constexpr int tapRepeatDelayMs = 45;

    explicit HidSocketClient(std::string path);
    ~HidSocketClient();
    HidSocketClient(const HidSocketClient&) = delete;
    HidSocketClient& operator=(const HidSocketClient&) = delete;

    const std::string& path() const { return path_; }
    // True if a file exists at the socket path.
    bool isAvailable() const;

    // `type` "release" lifts the finger; any other type is a contact.
    void touch(std::string_view type, int64_t x, int64_t y);
    // Contact, 45 ms, contact again, hold (at least 100 ms), release.
    void tap(int64_t x, int64_t y, uint32_t holdUs);
    // Lifts the finger no earlier than `minHoldUs` after `pressedAt` (monotonic nanoseconds).
    void release(int64_t x, int64_t y, uint32_t minHoldUs, uint64_t pressedAt);
    void button(std::string_view name, std::string_view state);
    void key(bool down, uint16_t usage, std::string_view character, uint8_t mods);
    void instant(bool hard);
    void musicSafe(bool on);
    void keyboardReset();

private:
    void enqueue(std::function<void()> work);
    bool writeAll(const std::string& bytes);
    bool ensureConnectedLocked();

    const std::string path_;
    std::atomic<bool> isClosing_{false};
    std::mutex lock_;
    int fd_ = -1; // guarded by lock_
    std::unique_ptr<Runtime::SerialQueue> queue_; // last member: joined first on destruction
};

} // namespace ControlKit
