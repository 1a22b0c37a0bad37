#include "VedevaveApp/App/DeviceActionGate.h"

namespace VedevaveApp {

bool DeviceActionGate::isManualControlAllowed() const {
    std::lock_guard guard(lock_);
    return !exclusiveOwner_;
}

bool DeviceActionGate::beginManualLease() {
    std::lock_guard guard(lock_);
    if (exclusiveOwner_) {
        return false;
    }
    ++manualLeaseCount_;
    return true;
}

void DeviceActionGate::endManualLease() {
    std::lock_guard guard(lock_);
    if (manualLeaseCount_ > 0) {
        --manualLeaseCount_;
    }
}

bool DeviceActionGate::beginExclusive(ExclusiveOwner owner) {
    std::lock_guard guard(lock_);
    if (exclusiveOwner_ || manualLeaseCount_ != 0) {
        return false;
    }
    exclusiveOwner_ = owner;
    return true;
}

void DeviceActionGate::endExclusive(ExclusiveOwner owner) {
    std::lock_guard guard(lock_);
    if (exclusiveOwner_ == owner) {
        exclusiveOwner_.reset();
    }
}

std::optional<DeviceActionGate::ExclusiveOwner> DeviceActionGate::exclusiveOwner() const {
    std::lock_guard guard(lock_);
    return exclusiveOwner_;
}

int DeviceActionGate::manualLeaseCount() const {
    std::lock_guard guard(lock_);
    return manualLeaseCount_;
}

} // namespace VedevaveApp
