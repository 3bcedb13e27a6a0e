#include "tools/rack-emulator/text_message.h"

#include <gtest/gtest.h>

namespace rackemu {
namespace {

TEST(TextMessage, RacksStartWithAllTheirMembersInOrder) {
    EXPECT_EQ(TextMessage(RackKind::Joystick).text(),
              R"({"aileron_position":0.0,"elevator_position":0.0,"camera_point_of_interest":0,)"
              R"("rudder_trim_plus_pct":0,"rudder_trim_minus_pct":0,)"
              R"("spoiler_handle_plus_position":0,"spoiler_handle_minus_position":0,)"
              R"("autopilot_master":0})");
    EXPECT_EQ(TextMessage(RackKind::Pedals).text(),
              R"({"rudder_position":0.0,"brake_position":0})");
}

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
