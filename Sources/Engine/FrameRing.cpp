#include "Engine/FrameRing.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <system_error>
#include <unistd.h>

namespace Engine {

namespace {

constexpr uint32_t pageBytes = 4096;

uint32_t roundUpToPage(uint64_t bytes) {
    return static_cast<uint32_t>((bytes + pageBytes - 1) / pageBytes * pageBytes);
}

[[noreturn]] void throwErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// The header page is the engine's; the application never reads it. It carries the geometry so
// that a person inspecting the ring file can tell what it holds.
struct RingHeader {
    char magic[4];
    uint32_t version;
    uint32_t slots;
    uint32_t width;
    uint32_t height;
    uint32_t bytesPerRow;
    uint32_t slotBytes;
    uint32_t headerBytes;
};

} // namespace

std::unique_ptr<FrameRing> FrameRing::create(int width, int height, int slots, RingMode mode,
                                             const std::string& filePath) {
    std::unique_ptr<FrameRing> ring(new FrameRing());
    ring->width_ = width;
    ring->height_ = height;
    ring->slots_ = slots;
    ring->bytesPerRow_ = static_cast<uint32_t>(width) * 4;
    // Page-aligned slots let the application wrap each slot without a copy.
    ring->slotBytes_ =
        roundUpToPage(static_cast<uint64_t>(ring->bytesPerRow_) * static_cast<uint64_t>(height));
    ring->mappedBytes_ = headerBytes + static_cast<size_t>(ring->slotBytes_) * static_cast<size_t>(slots);
    ring->mode_ = mode;

    if (mode == RingMode::descriptor) {
        ring->fd_ = memfd_create("kwvs3-ring", MFD_CLOEXEC);
        if (ring->fd_ < 0) {
            throwErrno("memfd_create");
        }
    } else {
        ring->fd_ = ::open(filePath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (ring->fd_ < 0) {
            throwErrno("open ring file");
        }
        ring->filePath_ = filePath;
    }
    if (ftruncate(ring->fd_, static_cast<off_t>(ring->mappedBytes_)) != 0) {
        throwErrno("ftruncate ring");
    }
    void* base = mmap(nullptr, ring->mappedBytes_, PROT_READ | PROT_WRITE, MAP_SHARED, ring->fd_, 0);
    if (base == MAP_FAILED) {
        throwErrno("mmap ring");
    }
    ring->base_ = static_cast<uint8_t*>(base);
    RingHeader header{{'K', 'W', 'V', '3'},
                      3,
                      static_cast<uint32_t>(slots),
                      static_cast<uint32_t>(width),
                      static_cast<uint32_t>(height),
                      ring->bytesPerRow_,
                      ring->slotBytes_,
                      headerBytes};
    std::memcpy(ring->base_, &header, sizeof header);
    return ring;
}

FrameRing::~FrameRing() {
    if (base_ != nullptr) {
        munmap(base_, mappedBytes_);
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!filePath_.empty()) {
        ::unlink(filePath_.c_str());
    }
}

KwvsBindInfo FrameRing::bindInfo() const {
    KwvsBindInfo info;
    info.slots = static_cast<uint16_t>(slots_);
    info.bytesPerRow = bytesPerRow_;
    info.slotBytes = slotBytes_;
    info.width = static_cast<uint16_t>(width_);
    info.height = static_cast<uint16_t>(height_);
    info.headerBytes = headerBytes;
    info.path = mode_ == RingMode::path ? filePath_ : std::string();
    return info;
}

uint8_t* FrameRing::slotAddress(int slot) const {
    return base_ + headerBytes + static_cast<size_t>(slot) * slotBytes_;
}

void FrameRing::touchSlot(int slot) {
    volatile uint8_t* start = slotAddress(slot);
    for (size_t offset = 0; offset < slotBytes_; offset += pageBytes) {
        start[offset] = 0;
    }
}

void FrameRing::writeSlot(int slot, const uint8_t* pixels, size_t sourceBytesPerRow) {
    uint8_t* destination = slotAddress(slot);
    if (sourceBytesPerRow == bytesPerRow_) {
        std::memcpy(destination, pixels, static_cast<size_t>(bytesPerRow_) * static_cast<size_t>(height_));
        return;
    }
    for (int row = 0; row < height_; ++row) {
        std::memcpy(destination + static_cast<size_t>(row) * bytesPerRow_,
                    pixels + static_cast<size_t>(row) * sourceBytesPerRow, bytesPerRow_);
    }
}

} // namespace Engine
