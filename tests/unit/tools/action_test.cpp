#include "tools/rack-emulator/action.h"

#include <gtest/gtest.h>

namespace rackemu {
namespace {

TEST(ActionLine, ReadsTimesVerbsAndTargets) {
    TimedAction turn = parseActionLine("2.5 turn fcu spd -2");
    EXPECT_EQ(turn.base, TimeBase::Start);
    EXPECT_DOUBLE_EQ(turn.seconds, 2.5);
    EXPECT_EQ(turn.action.verb, Verb::Turn);
    EXPECT_EQ(turn.action.rack, RackKind::Fcu);
    EXPECT_EQ(turn.action.field->offset, 1u);
    EXPECT_EQ(turn.action.number, -2);

    TimedAction set = parseActionLine("+0.25 set fcu 57 1");
    EXPECT_EQ(set.base, TimeBase::Previous);
    EXPECT_EQ(set.action.target, "alt_inc_1000");

    TimedAction brake = parseActionLine("set pedals brake_position 12.7");
    EXPECT_EQ(brake.base, TimeBase::Now);
    EXPECT_EQ(brake.action.value, Json(12.7));
    EXPECT_EQ(parseActionLine(R"(set joystick aileron_position "a b")").action.value, Json("a b"));

    EXPECT_DOUBLE_EQ(parseActionLine("hold efis fd 0.3").action.seconds, 0.3);
    EXPECT_EQ(parseActionLine("set efis nd_range 65536").action.number, 65536);
}

TEST(ActionLine, RawPayloadsKeepTheRestOfTheLine) {
    const Action text = parseActionLine(R"(raw joystick {"aileron_position": 1,)").action;
    EXPECT_EQ(std::string(text.payload.begin(), text.payload.end()), R"({"aileron_position": 1,)");
    EXPECT_EQ(parseActionLine("rawhex efis 7b 00 7d").action.payload, (Bytes{0x7b, 0x00, 0x7d}));
    EXPECT_EQ(parseActionLine("mark step two").action.text, "step two");
}

TEST(ActionLine, RefusesWhatCannotBeSent) {
    for (const char* line : {"turn fcu ap1 1",           // not a knob
                             "press fcu spd",            // not a switch
                             "turn joystick aileron 1",  // text racks have no knobs
                             "unset efis fd",            // panels have no members to leave out
                             "set efis nd_range 1.5",    // panel fields are integers
                             "set efis nd_range 2147483648", "set pedals brake_position {oops",
                             "set fcu 3 1",  // no field at that offset
                             "press radio x", "jump fcu ap1", "quit now", "rawhex efis 7",
                             "period efis 0", "-1 quit", "1e9 quit", "hold efis fd"}) {
        EXPECT_THROW(parseActionLine(line), ActionError) << line;
    }
    // A raw message too long for the line's buffer could never be sent.
    EXPECT_NO_THROW(parseActionLine("raw joystick " + std::string(1024, 'x')));
    EXPECT_THROW(parseActionLine("raw joystick " + std::string(1025, 'x')), ActionError);
}

}  // namespace
}  // namespace rackemu
