#include "VedevaveApp/App/DeviceActionGate.h"

#include <gtest/gtest.h>

using VedevaveApp::DeviceActionGate;
using Owner = DeviceActionGate::ExclusiveOwner;

namespace {

TEST(DeviceActionGate, LeasesBlockOwnersUntilAllHaveEnded) {
    DeviceActionGate gate;
    ASSERT_TRUE(gate.beginManualLease());
    ASSERT_TRUE(gate.beginManualLease());
    EXPECT_EQ(gate.manualLeaseCount(), 2);
    EXPECT_FALSE(gate.beginExclusive(Owner::agentBatch));
    EXPECT_FALSE(gate.beginExclusive(Owner::workflowPlayback));
    EXPECT_TRUE(gate.isManualControlAllowed()); // leases never block live input
    gate.endManualLease();
    EXPECT_FALSE(gate.beginExclusive(Owner::agentBatch));
    gate.endManualLease();
    gate.endManualLease(); // one too many: stays at 0
    EXPECT_EQ(gate.manualLeaseCount(), 0);
    EXPECT_TRUE(gate.beginExclusive(Owner::agentBatch));
}

TEST(DeviceActionGate, AnOwnerRefusesLeasesManualInputAndOtherOwners) {
    DeviceActionGate gate;
    ASSERT_TRUE(gate.beginExclusive(Owner::agentBatch));
    EXPECT_FALSE(gate.isManualControlAllowed());
    EXPECT_FALSE(gate.beginManualLease());
    EXPECT_FALSE(gate.beginExclusive(Owner::workflowPlayback));
    gate.endExclusive(Owner::workflowPlayback); // a late release by someone else changes nothing
    EXPECT_EQ(gate.exclusiveOwner(), Owner::agentBatch);
    gate.endExclusive(Owner::agentBatch);
    EXPECT_TRUE(gate.isManualControlAllowed());
    EXPECT_TRUE(gate.beginManualLease());
}

} // namespace
