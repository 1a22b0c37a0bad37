// Pure bookkeeping of one KWVS/3 ring's slots: which slot holds which picture, which notices are
// waiting for their acknowledgement. No memory, no sockets. Owned by one KwvsSession; called only
// on the engine's io thread.
//
// The rule it enforces: a slot whose notice has not been acknowledged is never handed out again,
// so an application that forgets to acknowledge stalls (the engine skips frames and counts them)
// instead of reading a slot while it is being overwritten.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace Engine {

class SlotLedger {
public:
    explicit SlotLedger(int slots);

    struct Grant {
        int slot = 0;
        bool needsPixels = true; // false when the slot already holds this picture version
    };

    // A slot to announce picture `version` in: a free slot that already holds that version if
    // there is one (no copy needed), else the free slot that was released longest ago. Absent
    // when every slot waits for an acknowledgement.
    std::optional<Grant> acquire(uint64_t version) const;

    // The slot now holds `version` and its notice `seq` is in flight.
    void markSent(int slot, uint64_t version, uint32_t seq, uint64_t producedNs);

    struct Released {
        int slot = 0;
        uint64_t producedNs = 0;
    };
    // Frees the slot whose in-flight notice carries `seq`; absent for an unknown or repeated seq.
    std::optional<Released> acknowledge(uint32_t seq);

    // A warming slot is out of circulation until setWarm (RingWarmer is touching its pages).
    void setWarming(int slot) { slots_.at(static_cast<size_t>(slot)).isWarm = false; }
    void setWarm(int slot) { slots_.at(static_cast<size_t>(slot)).isWarm = true; }

    int slots() const { return static_cast<int>(slots_.size()); }
    int inFlight() const;
    int warmSlots() const;

private:
    struct Slot {
        uint64_t version = 0; // 0: never written
        bool inFlight = false;
        bool isWarm = true;
        uint32_t seq = 0;
        uint64_t producedNs = 0;
        uint64_t releasedOrder = 0; // when the slot last became free, for least-recently-used reuse
    };
    std::vector<Slot> slots_;
    uint64_t releaseCounter_ = 0;
};

} // namespace Engine
