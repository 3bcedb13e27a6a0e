#include "app/cockpit_vars.h"

#include <gtest/gtest.h>

#include <set>

#include "app/sim_session.h"

namespace {

void storeSlot(SimSession& session, std::uint16_t offset, std::int32_t value) {
    const auto word = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        session.downlinkBlock[cockpit::kPayloadOffset + offset + i] =
            static_cast<std::uint8_t>(word >> (8 * i));
}

TEST(CockpitVars, SlotTableHasTheAgreedOffsets) {
    StateLock lock;
    SimSession session(&lock);
    session.registerCockpitVars();
    ASSERT_EQ(session.cockpitVarSlots.size(), 27u);
    EXPECT_EQ(session.cockpitVarSlots.at("XMLVAR_Baro1_Mode"), 0);
    EXPECT_EQ(session.cockpitVarSlots.at("XMLVAR_Autopilot_Altitude_Increment"), 32);
    EXPECT_EQ(session.cockpitVarSlots.at("A32NX_AUTOPILOT_FPA_SELECTED"), 52);
    EXPECT_EQ(session.cockpitVarSlots.at("A320_FCU_SHOW_SELECTED_HEADING"), 104);
    std::set<std::uint16_t> offsets;
    for (const auto& [name, offset] : session.cockpitVarSlots) offsets.insert(offset);
    EXPECT_EQ(offsets.size(), 27u);
    EXPECT_EQ(*offsets.rbegin(), 104);
}

TEST(CockpitVars, ReadsTenthsTruncatedTowardZero) {
    StateLock lock;
    SimSession session(&lock);
    session.registerCockpitVars();
    EXPECT_EQ(session.readCockpitVar("A32NX_EFIS_L_ND_RANGE"), 0);
    storeSlot(session, 8, 1234);
    storeSlot(session, 12, 19);
    storeSlot(session, 16, -15);
    storeSlot(session, 52, -37);
    EXPECT_EQ(session.readCockpitVar("A32NX_EFIS_L_ND_RANGE"), 123);
    EXPECT_EQ(session.readCockpitVar("A32NX_EFIS_L_ND_MODE"), 1);
    EXPECT_EQ(session.readCockpitVar("A32NX_EFIS_L_OPTION"), -1);
    EXPECT_EQ(session.readCockpitVarRaw("A32NX_AUTOPILOT_FPA_SELECTED"), -37);
    // A name without a slot reads 0 and is not added to the table the racks share.
    EXPECT_EQ(session.readCockpitVar("NO_SUCH_VARIABLE"), 0);
    EXPECT_EQ(session.cockpitVarSlots.size(), 27u);
}

TEST(CockpitVars, PacksSetAndTriggerCommands) {
    cockpit::Payload payload{};
    ASSERT_TRUE(cockpit::packSetCommand("XMLVAR_Autopilot_Altitude_Increment", 1000, payload));
    const std::string name = "XMLVAR_Autopilot_Altitude_Increment";
    EXPECT_EQ(payload[0], 3);
    EXPECT_EQ(payload[1], 0xE8);
    EXPECT_EQ(payload[2], 0x03);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(payload.data() + 3)), name);
    for (std::size_t i = 3 + name.size(); i < payload.size(); ++i) ASSERT_EQ(payload[i], 0) << i;

    ASSERT_TRUE(cockpit::packSetCommand("V", 0x12345678, payload));
    EXPECT_EQ(payload[1], 0x78);
    EXPECT_EQ(payload[2], 0x56);
    EXPECT_EQ(payload[4], 0);

    ASSERT_TRUE(cockpit::packTriggerCommand("(>H:A320_Neo_FCU_VS_PUSH)", payload));
    EXPECT_EQ(payload[0], 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(payload.data() + 1)),
              "(>H:A320_Neo_FCU_VS_PUSH)");
    for (std::size_t i = 1 + 25; i < payload.size(); ++i) ASSERT_EQ(payload[i], 0) << i;
}

TEST(CockpitVars, RefusesNamesThatLeaveNoRoomForTheTerminator) {
    cockpit::Payload payload{};
    EXPECT_TRUE(cockpit::packTriggerCommand(std::string(126, 'T'), payload));
    EXPECT_EQ(payload[127], 0);
    EXPECT_FALSE(cockpit::packTriggerCommand(std::string(127, 'T'), payload));
    EXPECT_TRUE(cockpit::packSetCommand(std::string(124, 'S'), 1, payload));
    EXPECT_FALSE(cockpit::packSetCommand(std::string(125, 'S'), 1, payload));
    // A refused command leaves the payload as it was.
    EXPECT_EQ(payload[0], 3);
    EXPECT_EQ(payload[3], 'S');
}

TEST(CockpitVars, NothingIsSentOnAClosedConnection) {
    StateLock lock;
    SimSession session(&lock);
    EXPECT_FALSE(session.sendTriggerCommand("(>H:A320_Neo_FCU_VS_PUSH)"));
    EXPECT_FALSE(session.sendSetCommand("XMLVAR_Baro1_Mode", 1));
}

}  // namespace
