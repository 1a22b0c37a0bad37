#include "MediaKit/VideoSocketReader.h"

#include "Runtime/Executors.h"
#include "Runtime/Log.h"
#include "Runtime/UnixSocket.h"

#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace MediaKit {

namespace {
constexpr uint8_t magic[4] = {'K', 'W', 'V', '3'};
constexpr uint32_t protocolVersion = 3;
constexpr std::chrono::milliseconds retryPause{100};

template <typename T>
T readLittle(const uint8_t* bytes) {
    T value = 0;
    for (size_t i = 0; i < sizeof(T); ++i) {
        value |= static_cast<T>(static_cast<T>(bytes[i]) << (8 * i));
    }
    return value;
}

template <typename T, size_t N>
void writeLittle(std::array<uint8_t, N>& out, size_t offset, T value) {
    for (size_t i = 0; i < sizeof(T); ++i) {
        out[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// Invalid UTF-8 is replaced rather than trusted as a path.
std::string sanitizedUTF8(const std::string& bytes) {
    std::string out;
    size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        bool valid = length > 0 && i + length <= bytes.size();
        for (size_t k = 1; valid && k < length; ++k) {
            valid = (static_cast<unsigned char>(bytes[i + k]) >> 6) == 0x2;
        }
        if (valid) {
            out.append(bytes, i, length);
            i += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}
} // namespace

namespace Kwvs {

std::array<uint8_t, 9> hello() {
    std::array<uint8_t, 9> out{};
    out[0] = helloKind;
    std::memcpy(&out[1], magic, 4);
    writeLittle<uint32_t>(out, 5, protocolVersion);
    return out;
}

std::array<uint8_t, 13> acknowledge(uint32_t seq, uint64_t displayedNs) {
    std::array<uint8_t, 13> out{};
    out[0] = acknowledgeKind;
    writeLittle<uint32_t>(out, 1, seq);
    writeLittle<uint64_t>(out, 5, displayedNs);
    return out;
}

std::optional<BindHeader> parseBind(const uint8_t (&fixed)[bindFixedBytes]) {
    if (std::memcmp(fixed, magic, 4) != 0) {
        return std::nullopt;
    }
    return BindHeader{readLittle<uint16_t>(fixed + 6),  readLittle<uint32_t>(fixed + 8),
                      readLittle<uint32_t>(fixed + 12), readLittle<uint16_t>(fixed + 16),
                      readLittle<uint16_t>(fixed + 18), readLittle<uint32_t>(fixed + 20),
                      readLittle<uint16_t>(fixed + 24)};
}

SlotFrame parseFrame(const uint8_t (&bytes)[frameBytes]) {
    return SlotFrame{readLittle<uint32_t>(bytes), readLittle<uint16_t>(bytes + 4), readLittle<uint64_t>(bytes + 6)};
}

} // namespace Kwvs

VideoSocketReader::VideoSocketReader(std::string path) : path_(std::move(path)) {}

VideoSocketReader::~VideoSocketReader() { stop(); }

bool VideoSocketReader::isAvailable() const {
    struct stat info {};
    return ::stat(path_.c_str(), &info) == 0;
}

void VideoSocketReader::start() {
    if (thread_.joinable()) {
        return;
    }
    stopFlag_ = false;
    thread_ = std::thread([this] {
        Runtime::setCurrentThreadName("vedevave-kwvs");
        while (!stopFlag_) {
            if (!runSession()) {
                std::unique_lock lock(waitMutex_);
                wake_.wait_for(lock, retryPause, [this] { return stopFlag_.load(); });
            }
        }
    });
}

void VideoSocketReader::stop() {
    stopFlag_ = true;
    {
        std::lock_guard lock(socketLock_);
        if (socketFd_ >= 0) {
            ::shutdown(socketFd_, SHUT_RDWR); // wakes the blocked receive
        }
        socketFd_ = -1;
    }
    {
        std::lock_guard lock(waitMutex_);
        wake_.notify_all();
    }
    if (thread_.joinable()) {
        if (std::this_thread::get_id() == thread_.get_id()) {
            thread_.detach(); // called from a callback: the loop ends by itself
        } else {
            thread_.join();
        }
    }
    releaseRing();
}

void VideoSocketReader::setSocket(int fd) {
    std::lock_guard lock(socketLock_);
    socketFd_ = fd;
}

void VideoSocketReader::acknowledge(uint32_t seq, uint64_t displayedNs) {
    const auto message = Kwvs::acknowledge(seq, displayedNs);
    std::lock_guard lock(socketLock_);
    if (socketFd_ >= 0) {
        Runtime::sendAll(socketFd_, message.data(), message.size());
    }
}

void VideoSocketReader::releaseRing() {
    if (ring_) {
        ::munmap(ring_, ringSize_);
        ring_ = nullptr;
        ringSize_ = 0;
        ringSlots_ = 0;
    }
    if (ringFd_ >= 0) {
        ::close(ringFd_);
        ringFd_ = -1;
    }
}

bool VideoSocketReader::runSession() {
    if (path_.size() >= 104) {
        return false;
    }
    Runtime::UniqueFd socket(Runtime::connectUnixStream(path_));
    if (!socket.isValid()) {
        return false;
    }
    sessionFd_ = socket.get();
    setSocket(sessionFd_);
    const auto hello = Kwvs::hello();
    bool connected = Runtime::sendAll(sessionFd_, hello.data(), hello.size());
    while (connected && !stopFlag_) {
        uint8_t kind = 0;
        int descriptor = -1;
        if (Runtime::receiveWithDescriptor(sessionFd_, &kind, 1, &descriptor) != 1) {
            if (descriptor >= 0) {
                ::close(descriptor);
            }
            break;
        }
        bool handled = false;
        if (kind == Kwvs::frameKind) {
            if (descriptor >= 0) {
                ::close(descriptor);
            }
            handled = handleFrame();
        } else if (kind == Kwvs::bindKind) {
            handled = handleBind(descriptor);
        } else if (descriptor >= 0) {
            ::close(descriptor);
        }
        if (!handled) {
            break;
        }
    }
    setSocket(-1);
    sessionFd_ = -1;
    releaseRing();
    return connected;
}

bool VideoSocketReader::handleBind(int descriptor) {
    Runtime::UniqueFd passed(descriptor);
    uint8_t fixed[Kwvs::bindFixedBytes];
    if (!Runtime::receiveExact(sessionFd_, fixed, sizeof fixed)) {
        return false;
    }
    auto header = Kwvs::parseBind(fixed);
    if (!header) {
        return false;
    }
    std::string rawPath(header->pathLength, '\0');
    if (!rawPath.empty() && !Runtime::receiveExact(sessionFd_, rawPath.data(), rawPath.size())) {
        return false;
    }
    const std::string path = sanitizedUTF8(rawPath);
    releaseRing();

    const bool viaDescriptor = passed.isValid();
    Runtime::UniqueFd ringFd;
    int protection = PROT_READ;
    if (viaDescriptor) {
        ringFd = std::move(passed);
        protection |= PROT_WRITE;
    } else {
        if (path.empty()) {
            return false;
        }
        ringFd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (!ringFd.isValid()) {
            return false;
        }
    }
    const uint64_t size = static_cast<uint64_t>(header->headerBytes) +
                          static_cast<uint64_t>(header->slotBytes) * static_cast<uint64_t>(header->slots);
    // A ring whose frames do not fit their slots, or a file shorter than the mapping, would make
    // every reader of a slot run past the memory it was given (or fault on it).
    const uint64_t frameBytes = static_cast<uint64_t>(header->bytesPerRow) * header->height;
    struct stat info {};
    if (size == 0 || header->slots == 0 || header->bytesPerRow < static_cast<uint64_t>(header->width) * 4 ||
        frameBytes > header->slotBytes || ::fstat(ringFd.get(), &info) != 0 ||
        static_cast<uint64_t>(info.st_size) < size) {
        Runtime::logLine("MediaKit KWVS/3 bind refused: inconsistent ring geometry");
        return false;
    }
    void* mapped = ::mmap(nullptr, size, protection, MAP_SHARED, ringFd.get(), 0);
    if (mapped == MAP_FAILED) {
        return false;
    }
    ring_ = static_cast<uint8_t*>(mapped);
    ringSize_ = size;
    ringSlots_ = header->slots;
    ringFd_ = ringFd.release();

    Runtime::logLine("MediaKit KWVS/3 ring " + std::to_string(header->width) + "x" + std::to_string(header->height) +
                     " stride=" + std::to_string(header->bytesPerRow) + " \xC3\x97" + std::to_string(header->slots) +
                     " slots via " + (viaDescriptor ? "fd" : "path"));
    if (onBind) {
        onBind(RingBinding{ring_, static_cast<int64_t>(size), header->slots, header->headerBytes, header->slotBytes,
                           header->bytesPerRow, header->width, header->height});
    }
    return true;
}

bool VideoSocketReader::handleFrame() {
    uint8_t bytes[Kwvs::frameBytes];
    if (!Runtime::receiveExact(sessionFd_, bytes, sizeof bytes)) {
        return false;
    }
    const SlotFrame frame = Kwvs::parseFrame(bytes);
    // Without a ring, or naming a slot the ring does not have, the notice cannot be shown.
    if (!ring_ || frame.slot >= ringSlots_) {
        acknowledge(frame.seq, frame.producedNs);
        return true;
    }
    ++framesReceived_;
    if (frame.producedNs != 0) {
        const uint64_t now = monotonicNow();
        if (now > frame.producedNs) {
            endToEndLatency_.add(static_cast<double>(now - frame.producedNs) / 1'000'000.0);
        }
    }
    if (onFrame) {
        onFrame(frame);
    }
    return true;
}

} // namespace MediaKit
