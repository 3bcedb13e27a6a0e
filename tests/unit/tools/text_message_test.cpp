#include "tools/rack-emulator/text_message.h"

#include <gtest/gtest.h>

namespace rackemu {
namespace {

TEST(TextMessage, MembersTakeAnyJsonValueAndCanBeLeftOut) {
    TextMessage pedals(RackKind::Pedals);
    pedals.set("brake_position", Json::parse("12.7"));
    pedals.set("rudder_position", Json::parse("-8192"));
    EXPECT_EQ(pedals.text(), R"({"rudder_position":-8192,"brake_position":12.7})");
    pedals.set("brake_position", Json::parse("true"));
    pedals.set("extra", Json::parse(R"("text")"));
    EXPECT_EQ(pedals.text(), R"({"rudder_position":-8192,"brake_position":true,"extra":"text"})");
    pedals.unset("brake_position");
    EXPECT_EQ(pedals.text(), R"({"rudder_position":-8192,"extra":"text"})");
}

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
