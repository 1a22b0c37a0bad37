// Keeps the actors that move the phone from interleaving: an unattended actor (an agent batch or a
// workflow playback) holds the gate exclusively, short manual actions take counted leases, and live
// pointer input only asks whether an exclusive owner is present. Any thread may call; each
// operation is atomic and never blocks beyond the lock.
#pragma once

#include <mutex>
#include <optional>

namespace VedevaveApp {

class DeviceActionGate {
public:
    enum class ExclusiveOwner { agentBatch, workflowPlayback };

    static constexpr const char* deviceBusyText = "Another device action batch is already in progress.";
    static constexpr const char* playbackRefusedText = "Another action is controlling the phone";
    static constexpr const char* manualRefusedStatus = "agent action in progress";

    // True exactly when no exclusive owner holds the gate (leases do not matter).
    bool isManualControlAllowed() const;
    bool beginManualLease();
    void endManualLease();
    bool beginExclusive(ExclusiveOwner owner);
    // Removes the owner only if it is the given one, so a late release is harmless.
    void endExclusive(ExclusiveOwner owner);

    std::optional<ExclusiveOwner> exclusiveOwner() const;
    int manualLeaseCount() const;

private:
    mutable std::mutex lock_;
    std::optional<ExclusiveOwner> exclusiveOwner_; // guarded by lock_
    int manualLeaseCount_ = 0;                     // guarded by lock_, never below 0
};

} // namespace VedevaveApp
