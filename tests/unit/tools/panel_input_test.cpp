#include "tools/rack-emulator/panel_input.h"

#include <gtest/gtest.h>

#include <limits>

namespace rackemu {
namespace {

const FrameField& field(RackKind kind, const char* name) {
    return *findField(panelInputLayout(kind), name);
}

TEST(PanelInput, EfisFrameIsThirtyBytesWithLittleEndianFields) {
    PanelInput efis(panelInputLayout(RackKind::Efis));
    efis.set(field(RackKind::Efis, "nd_range"), 0x01020304);
    efis.set(field(RackKind::Efis, "baro_mode"), -1);
    efis.turn(field(RackKind::Efis, "baro"), 3);
    const Bytes frame = efis.frame();
    ASSERT_EQ(frame.size(), 30u);
    EXPECT_EQ(frame[0], '{');
    EXPECT_EQ(frame[29], '}');
    EXPECT_EQ(toHex(frame), "7b03000000ffffffff00000000000000000403020100000000000000007d");
}

TEST(PanelInput, DetentsTravelInOneFrameOnlyAndAddUp) {
    PanelInput fcu(panelInputLayout(RackKind::Fcu));
    const FrameField& spd = field(RackKind::Fcu, "spd");
    fcu.turn(spd, 5);
    fcu.turn(spd, -2);
    EXPECT_EQ(fcu.frame().size(), 82u);
    EXPECT_EQ(getInt32(fcu.frame(), 1), 3);
    // Until the frame has gone out, the count stays (a frame held back keeps it).
    EXPECT_EQ(getInt32(fcu.frame(), 1), 3);
    fcu.sent();
    EXPECT_EQ(getInt32(fcu.frame(), 1), 0);

    // Many turns saturate instead of wrapping around to the other direction.
    fcu.turn(spd, std::numeric_limits<std::int32_t>::max());
    fcu.turn(spd, 10);
    EXPECT_EQ(getInt32(fcu.frame(), 1), std::numeric_limits<std::int32_t>::max());
}

TEST(PanelInput, ReleaseBeforeTheFirstSendWaitsForIt) {
    PanelInput fcu(panelInputLayout(RackKind::Fcu));
    const FrameField& ap1 = field(RackKind::Fcu, "ap1");
    fcu.press(ap1);
    fcu.release(ap1);
    EXPECT_EQ(getInt32(fcu.frame(), 37), 1);
    fcu.sent();
    EXPECT_EQ(getInt32(fcu.frame(), 37), 0);

    // Once a frame carried the press, a release acts at once.
    fcu.press(ap1);
    fcu.sent();
    fcu.release(ap1);
    EXPECT_EQ(getInt32(fcu.frame(), 37), 0);

}

}  // namespace
}  // namespace rackemu
