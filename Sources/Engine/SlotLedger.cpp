#include "Engine/SlotLedger.h"

#include <algorithm>

namespace Engine {

SlotLedger::SlotLedger(int slots) : slots_(static_cast<size_t>(std::max(1, slots))) {}

std::optional<SlotLedger::Grant> SlotLedger::acquire(uint64_t version) const {
    std::optional<int> oldest;
    for (int i = 0; i < slots(); ++i) {
        const Slot& s = slots_[static_cast<size_t>(i)];
        if (s.inFlight || !s.isWarm) {
            continue;
        }
        if (version != 0 && s.version == version) {
            return Grant{i, false};
        }
        if (!oldest || s.releasedOrder < slots_[static_cast<size_t>(*oldest)].releasedOrder) {
            oldest = i;
        }
    }
    if (!oldest) {
        return std::nullopt;
    }
    return Grant{*oldest, true};
}

void SlotLedger::markSent(int slot, uint64_t version, uint32_t seq, uint64_t producedNs) {
    Slot& s = slots_.at(static_cast<size_t>(slot));
    s.version = version;
    s.inFlight = true;
    s.seq = seq;
    s.producedNs = producedNs;
}

std::optional<SlotLedger::Released> SlotLedger::acknowledge(uint32_t seq) {
    for (size_t i = 0; i < slots_.size(); ++i) {
        Slot& s = slots_[i];
        if (s.inFlight && s.seq == seq) {
            s.inFlight = false;
            s.releasedOrder = ++releaseCounter_;
            return Released{static_cast<int>(i), s.producedNs};
        }
    }
    return std::nullopt;
}

int SlotLedger::warmSlots() const {
    return static_cast<int>(
        std::count_if(slots_.begin(), slots_.end(), [](const Slot& s) { return s.isWarm; }));
}

int SlotLedger::inFlight() const {
    return static_cast<int>(
        std::count_if(slots_.begin(), slots_.end(), [](const Slot& s) { return s.inFlight; }));
}

} // namespace Engine
