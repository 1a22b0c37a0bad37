// The byte queue under the stream parsers (HID, KWVS/3): bytes are appended as they arrive and
// consumed from the front as messages complete; consumed bytes are dropped lazily so a
// long-lived connection does not grow its buffer. Single-threaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace Engine {

class StreamBuffer {
public:
    void append(std::span<const uint8_t> bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }

    // The unconsumed bytes.
    const uint8_t* data() const { return bytes_.data() + offset_; }
    size_t size() const { return bytes_.size() - offset_; }
    bool empty() const { return size() == 0; }
    uint8_t operator[](size_t i) const { return bytes_[offset_ + i]; }

    void consume(size_t n) {
        offset_ += n;
        if (offset_ == bytes_.size()) {
            clear();
        } else if (offset_ > compactAfterBytes) {
            bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<long>(offset_));
            offset_ = 0;
        }
    }

    void clear() {
        bytes_.clear();
        offset_ = 0;
    }

private:
    static constexpr size_t compactAfterBytes = 4096;
    std::vector<uint8_t> bytes_;
    size_t offset_ = 0;
};

} // namespace Engine
