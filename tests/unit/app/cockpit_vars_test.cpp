#include "app/cockpit_vars.h"

#include <gtest/gtest.h>

#include "app/sim_session.h"
#include "base/little_endian.h"

namespace {

void storeSlot(SimState& state, std::uint16_t offset, std::int32_t value) {
    StoreI32(&state.downlinkBlock[cockpit::kPayloadOffset + offset], value);
}

TEST(CockpitVars, ReadsTenthsTruncatedTowardZero) {
    StateLock lock;
    RackMutex rackMutex;
    SimSession session(&lock, &rackMutex);
    session.registerCockpitVars();
    EXPECT_EQ(session.readCockpitVar("A32NX_EFIS_L_ND_RANGE"), 0);
    SimState state = session.readState();
    // The panels' whole runs read whole tenths and the raw angle; here, what truncates.
    storeSlot(state, 12, 19);
    storeSlot(state, 16, -15);
    EXPECT_EQ(state.readCockpitVar("A32NX_EFIS_L_ND_MODE"), 1);
    EXPECT_EQ(state.readCockpitVar("A32NX_EFIS_L_OPTION"), -1);
    // A name without a slot reads 0 and is not added to the table the racks share.
    EXPECT_EQ(state.readCockpitVar("NO_SUCH_VARIABLE"), 0);
    EXPECT_EQ(session.cockpitVarSlots.size(), 27u);
}

// The layout of both commands is checked on the wire (channel_wire_test); here, the edges.
TEST(CockpitVars, RefusesNamesWithoutRoomForTheTerminatorAndKeepsTheValuesLow16Bits) {
    cockpit::Payload payload{};
    EXPECT_TRUE(cockpit::packTriggerCommand(std::string(126, 'T'), payload));
    EXPECT_EQ(payload[127], 0);
    EXPECT_FALSE(cockpit::packTriggerCommand(std::string(127, 'T'), payload));
    EXPECT_TRUE(cockpit::packSetCommand(std::string(124, 'S'), 1, payload));
    EXPECT_FALSE(cockpit::packSetCommand(std::string(125, 'S'), 1, payload));
    // A refused command leaves the payload as it was; the next one leaves nothing of it.
    EXPECT_EQ(payload[0], 3);
    EXPECT_EQ(payload[3], 'S');
    ASSERT_TRUE(cockpit::packSetCommand("V", 0x12345678, payload));
    EXPECT_EQ(payload, (cockpit::Payload{3, 0x78, 0x56, 'V'}));
}

}  // namespace
