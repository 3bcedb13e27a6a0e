#include "tools/rack-emulator/script.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace rackemu {
namespace {

TEST(Script, ResolvesTimesFromStartAndFromThePreviousLine) {
    std::istringstream in(
        "# comment\n"
        "\n"
        "1.5 press fcu alt_inc_100\n"
        "    press fcu alt_inc_1000\n"
        "+0.2 release fcu alt_inc_100\n"
        "0.5 mark early\n"
        "+1 quit\n");
    const std::vector<ScriptStep> steps = parseScript(in);
    ASSERT_EQ(steps.size(), 5u);
    EXPECT_DOUBLE_EQ(steps[0].at, 1.5);
    EXPECT_DOUBLE_EQ(steps[1].at, 1.5);
    EXPECT_DOUBLE_EQ(steps[2].at, 1.7);
    EXPECT_DOUBLE_EQ(steps[3].at, 0.5);
    EXPECT_DOUBLE_EQ(steps[4].at, 1.5);
    EXPECT_EQ(steps[4].action.verb, Verb::Quit);
}

// The demo's flight stays readable, and ends with its quit at 30 s.
TEST(Script, DemoFlightEndsAtThirtySeconds) {
    std::ifstream in(RACKEMU_SOURCE_DIR "/demo_flight.script");
    const std::vector<ScriptStep> steps = parseScript(in);
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back().action.verb, Verb::Quit);
    EXPECT_DOUBLE_EQ(steps.back().at, 30.0);
}

}  // namespace
}  // namespace rackemu
