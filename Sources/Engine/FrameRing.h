// The shared-memory ring of one KWVS/3 client: a header page followed by `slots` BGRA frame slots,
// backed by a memfd (passed to the client with SCM_RIGHTS) or, in path mode, by a file the client
// opens by name. Owned by one KwvsSession; io thread only.
#pragma once

#include "Engine/KwvsProtocol.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace Engine {

enum class RingMode { descriptor, path };

class FrameRing {
public:
    static constexpr uint32_t headerBytes = 4096;

    // Creates and maps the ring. In path mode `filePath` names the file to create (removed again
    // when the ring is destroyed). Throws std::system_error when memory or the file cannot be had.
    static std::unique_ptr<FrameRing> create(int width, int height, int slots, RingMode mode,
                                             const std::string& filePath);
    ~FrameRing();
    FrameRing(const FrameRing&) = delete;
    FrameRing& operator=(const FrameRing&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    int slots() const { return slots_; }
    uint32_t bytesPerRow() const { return bytesPerRow_; }
    uint32_t slotBytes() const { return slotBytes_; }
    size_t mappedBytes() const { return mappedBytes_; }
    RingMode mode() const { return mode_; }
    int descriptor() const { return fd_; }
    const std::string& filePath() const { return filePath_; }

    // What the bind message announces; the path is empty in descriptor mode.
    KwvsBindInfo bindInfo() const;

    uint8_t* slotAddress(int slot) const;
    // Writes one byte in every page of a slot, so that later writes to it meet no page faults.
    void touchSlot(int slot);
    // Copies one BGRA picture of the ring's size into a slot, row by row when strides differ.
    void writeSlot(int slot, const uint8_t* pixels, size_t sourceBytesPerRow);

private:
    FrameRing() = default;

    int width_ = 0;
    int height_ = 0;
    int slots_ = 0;
    uint32_t bytesPerRow_ = 0;
    uint32_t slotBytes_ = 0;
    size_t mappedBytes_ = 0;
    RingMode mode_ = RingMode::descriptor;
    int fd_ = -1;
    std::string filePath_;
    uint8_t* base_ = nullptr;
};

} // namespace Engine
