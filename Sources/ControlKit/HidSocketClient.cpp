#include "ControlKit/HidSocketClient.h"

#include "ControlKit/HidMessages.h"
#include "Runtime/Clock.h"
#include "Runtime/UnixSocket.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace ControlKit {

namespace {
void sleepMicroseconds(uint64_t microseconds) {
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
}
} // namespace

HidSocketClient::HidSocketClient(std::string path)
    : path_(std::move(path)), queue_(std::make_unique<Runtime::SerialQueue>("vedevave.hid")) {}

HidSocketClient::~HidSocketClient() {
    isClosing_ = true; // queued work that has not started yet is dropped
    queue_.reset();
    std::lock_guard guard(lock_);
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool HidSocketClient::isAvailable() const {
    struct stat info {};
    return ::stat(path_.c_str(), &info) == 0;
}

void HidSocketClient::enqueue(std::function<void()> work) {
    queue_->post([this, work = std::move(work)] {
        if (!isClosing_) {
            work();
        }
    });
}

bool HidSocketClient::ensureConnectedLocked() {
    if (fd_ >= 0) {
        return true;
    }
    // Connect sets close-on-exec; writes use MSG_NOSIGNAL so a dead engine never raises SIGPIPE.
    fd_ = Runtime::connectUnixStream(path_);
    return fd_ >= 0;
}

bool HidSocketClient::writeAll(const std::string& bytes) {
    std::lock_guard guard(lock_);
    if (!ensureConnectedLocked()) {
        return false;
    }
    const ssize_t written = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (written == static_cast<ssize_t>(bytes.size())) {
        return true;
    }
    ::close(fd_);
    fd_ = -1;
    return false;
}

void HidSocketClient::touch(std::string_view type, int64_t x, int64_t y) {
    enqueue([this, message = HidMessages::touch(type != "release", x, y)] { writeAll(message); });
}

void HidSocketClient::tap(int64_t x, int64_t y, uint32_t holdUs) {
    enqueue([this, x, y, holdUs] {
        writeAll(HidMessages::touch(true, x, y));
        std::this_thread::sleep_for(std::chrono::milliseconds(tapRepeatDelayMs));
        writeAll(HidMessages::touch(true, x, y));
        sleepMicroseconds(std::max(holdUs, minimumTapHoldUs));
        writeAll(HidMessages::touch(false, x, y));
    });
}

void HidSocketClient::release(int64_t x, int64_t y, uint32_t minHoldUs, uint64_t pressedAt) {
    enqueue([this, x, y, minHoldUs, pressedAt] {
        const uint64_t now = Runtime::monotonicNow();
        const uint64_t elapsedUs =
            std::min<uint64_t>(now > pressedAt ? (now - pressedAt) / 1000 : 0, std::numeric_limits<uint32_t>::max());
        if (elapsedUs < minHoldUs) {
            sleepMicroseconds(minHoldUs - elapsedUs);
        }
        writeAll(HidMessages::touch(false, x, y));
    });
}

void HidSocketClient::button(std::string_view name, std::string_view state) {
    enqueue([this, message = HidMessages::button(name, state == "press")] { writeAll(message); });
}

void HidSocketClient::key(bool down, uint16_t usage, std::string_view character, uint8_t mods) {
    enqueue([this, message = HidMessages::key(down, usage, mods, character)] { writeAll(message); });
}

void HidSocketClient::instant(bool hard) {
    enqueue([this, message = HidMessages::instant(hard)] { writeAll(message); });
}

void HidSocketClient::musicSafe(bool on) {
    enqueue([this, message = HidMessages::musicSafe(on)] { writeAll(message); });
}

void HidSocketClient::keyboardReset() {
    enqueue([this, message = HidMessages::keyboardReset()] { writeAll(message); });
}

} // namespace ControlKit
