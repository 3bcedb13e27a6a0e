#include "tools/rack-emulator/text_message.h"

#include <gtest/gtest.h>

namespace rackemu {
namespace {

TEST(TextMessage, ShortPressReachesOneMessage) {
    TextMessage joystick(RackKind::Joystick);
    joystick.press("autopilot_master");
    joystick.release("autopilot_master");
    EXPECT_EQ(joystick.members()["autopilot_master"], 1);
    joystick.sent();
    EXPECT_EQ(joystick.members()["autopilot_master"], 0);
}

}  // namespace
}  // namespace rackemu
