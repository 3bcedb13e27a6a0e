// The EFIS and FCU panels over one whole run, shared by the cases in the order written
// (ctest runs the program as one test), both ways: frames from the virtual panels become
// events and uplink commands at the stand-in, and the aircraft's state comes back as the
// panels' display frames. All four racks run, and the run ends with the simulator.
#include <gtest/gtest.h>

#include "testing/rack_run.h"

namespace {

using namespace racktest;
using Clock = std::chrono::steady_clock;

// The aircraft starts with values whose display needs rounding or truncation.
const char* const kStandinScript =
    "{\"at\": 0, \"set\": \"KOHLSMAN SETTING MB\", \"value\": 1012.5}\n"
    "{\"at\": 0, \"set\": \"A32NX_AUTOPILOT_SPEED_SELECTED\", \"value\": 250.5}\n"
    "{\"at\": 0, \"set\": \"A32NX_AUTOPILOT_FPA_SELECTED\", \"value\": -1.5}\n"
    "{\"at\": 0, \"set\": \"AUTOPILOT ALTITUDE LOCK VAR\", \"value\": 499.9, \"unit\": \"feet\"}\n";

using testsupport::memberIs;

class PanelRacks : public testing::Test {
protected:
    static void SetUpTestSuite() {
        scriptDir = new testsupport::TempDir;
        scriptDir->write("flight.script", kStandinScript);
        shared = new RackRun({"efis", "fcu", "joystick", "pedals"},
                             {"--script", scriptDir->file("flight.script")});
        const Json config = {{shared->link("efis"), "efis_rack"},
                             {shared->link("fcu"), "autopilot_rack"},
                             {shared->link("joystick"), "joystick_rack"},
                             {shared->link("pedals"), "pedals_rack"}};
        started = shared->startService(config.dump(), {"efis", "fcu", "joystick", "pedals"});
    }
    static void TearDownTestSuite() {
        delete shared;
        delete scriptDir;
    }
    void SetUp() override { ASSERT_TRUE(started) << run.output(); }

    bool received(const std::string& rack, const std::string& name, int value) {
        return run.racks().waitForReceived(rack, memberIs(name, value), 5s).has_value();
    }
    // Turns a knob and waits until the frame carrying the turn has been sent.
    void turn(const std::string& rack, const std::string& knob, int count) {
        const std::size_t from = run.racks().size();
        run.act("turn " + rack + " " + knob + " " + std::to_string(count));
        ASSERT_TRUE(run.racks().waitForSent(rack, memberIs(knob, count), 5s, from));
    }

    static inline testsupport::TempDir* scriptDir = nullptr;
    static inline RackRun* shared = nullptr;
    static inline bool started = false;
    RackRun& run = *shared;
};

TEST_F(PanelRacks, DisplaysShowTheAircraftRounded) {
    // 1012.5 mb shows as 1013, and the flight director is on.
    ASSERT_TRUE(received("efis", "baro", 1013)) << run.output();
    ASSERT_TRUE(received("efis", "fd", 1));
    // Selected speed 250.5 kt shows 250, the angle -1.5 degrees -15, 499.9 ft 499.
    ASSERT_TRUE(run.racks().waitForReceived(
        "fcu",
        [](const Json& f) {
            return f.value("spd", 0) == 250 && f.value("fpa", 0) == -15 && f.value("alt", 0) == 499 &&
                   f.value("hdg", 0) == 180 && f.value("lights", -1) == 0;
        },
        5s))
        << run.output();
}

TEST_F(PanelRacks, EfisKnobSendsItsDetentsAndTheDisplayFollows) {
    // 3 up, 1 down, 50 ignored; 1012.5 + 3 = 1015.5 shows as 1016.
    const std::size_t from = run.sim().size();
    turn("efis", "baro", 3);
    turn("efis", "baro", -1);
    turn("efis", "baro", 50);
    turn("efis", "baro", 1);
    ASSERT_TRUE(run.waitForEvents("KOHLSMAN_INC", 4, from));
    EXPECT_EQ(run.eventsBesideBrakes(from),
              (std::vector<std::string>{"KOHLSMAN_INC", "KOHLSMAN_INC", "KOHLSMAN_INC",
                                        "KOHLSMAN_DEC", "KOHLSMAN_INC"}));
    EXPECT_TRUE(received("efis", "baro", 1016));
}

// The baro mode and the option are sent once per change; the panel shows them back.
TEST_F(PanelRacks, EfisSelectorsGoOncePerChange) {
    const std::size_t from = run.sim().size();
    run.act("set efis baro_mode 1\nset efis option 2");
    ASSERT_TRUE(received("efis", "baro_mode", 1));
    ASSERT_TRUE(received("efis", "option", 2));
    EXPECT_EQ(run.commands("XMLVAR_Baro1_Mode", from), std::vector<int>{1});
    EXPECT_EQ(run.commands("A32NX_EFIS_L_OPTION", from), std::vector<int>{2});
}

// Held buttons act once: the flight director toggles off, the LS indication on.
TEST_F(PanelRacks, EfisHeldButtonsActOnce) {
    const std::size_t from = run.sim().size();
    run.act("press efis fd\npress efis ls");
    ASSERT_TRUE(received("efis", "fd", 0));
    ASSERT_TRUE(received("efis", "ls", 1));
    EXPECT_EQ(run.eventsBesideBrakes(from), std::vector<std::string>{"TOGGLE_FLIGHT_DIRECTOR"});
    EXPECT_EQ(run.commands("BTN_LS_1_FILTER_ACTIVE", from).size(), 1u);
}

TEST_F(PanelRacks, EfisRangeGoesWithTheModeWhileTheyDifferFromTheAircraft) {
    // Range equal to the aircraft's, mode changed: only the mode goes.
    std::size_t from = run.sim().size();
    run.act("set efis nd_mode 4");
    ASSERT_TRUE(run.sim().waitForChange("A32NX_EFIS_L_ND_MODE", [](double v) { return v == 40; }, 5s, from));
    EXPECT_TRUE(run.commands("A32NX_EFIS_L_ND_RANGE", from).empty());
    // A changed range goes with the mode.
    from = run.sim().size();
    run.act("set efis nd_range 3");
    ASSERT_TRUE(run.waitForCommands("A32NX_EFIS_L_ND_MODE", 1, from));
    EXPECT_EQ(run.commands("A32NX_EFIS_L_ND_RANGE", from).front(), 3);
    EXPECT_EQ(run.commands("A32NX_EFIS_L_ND_MODE", from).front(), 4);
    // 65536 goes as 0, which the aircraft never agrees with: both are sent at every read.
    from = run.sim().size();
    run.act("set efis nd_range 65536");
    ASSERT_TRUE(run.waitForCommands("A32NX_EFIS_L_ND_RANGE", 5, from));
    const auto ranges = run.commands("A32NX_EFIS_L_ND_RANGE", from);
    EXPECT_EQ(std::count(ranges.begin(), ranges.end(), 0), static_cast<long>(ranges.size()));
    EXPECT_GE(run.commands("A32NX_EFIS_L_ND_MODE", from).size() + 1, ranges.size());
}

TEST_F(PanelRacks, FcuKnobsSendTheirDetents) {
    const std::size_t from = run.sim().size();
    turn("fcu", "spd", 5);
    turn("fcu", "spd", -2);
    turn("fcu", "spd", 50);
    turn("fcu", "hdg", 1);
    turn("fcu", "alt", 1);
    turn("fcu", "vs", -1);
    ASSERT_TRUE(run.waitForEvents("AP_VS_VAR_DEC", 1, from));
    std::vector<std::string> knobs(5, "AP_SPD_VAR_INC");
    knobs.insert(knobs.end(), {"AP_SPD_VAR_DEC", "AP_SPD_VAR_DEC", "HEADING_BUG_INC", "AP_ALT_VAR_INC",
                               "AP_VS_VAR_DEC"});
    EXPECT_EQ(run.eventsBesideBrakes(from), knobs);
}

// Presses in one frame go in the frame's order; the mode lights follow.
TEST_F(PanelRacks, FcuPressesGoInTheFramesOrder) {
    const std::size_t from = run.sim().size();
    const std::vector<std::string> presses = {"alt_hold_on", "alt_hold_off", "vs_hold", "loc",
                                              "ap1",         "athr",         "appr"};
    std::string lines;
    for (const std::string& press : presses) lines += "press fcu " + press + "\n";
    run.act(lines);
    ASSERT_TRUE(received("fcu", "lights", 1 + 2 + 4 + 16));
    EXPECT_EQ(
        run.eventsBesideBrakes(from),
        (std::vector<std::string>{"AP_ALT_HOLD_ON", "AP_ALT_HOLD_OFF", "AP_VS_HOLD", "AP_LOC_HOLD",
                                  "AP_MASTER", "AUTO_THROTTLE_ARM", "AP_APR_HOLD"}));
}

// Expedite: one debug line and one trigger per press.
TEST_F(PanelRacks, FcuExpediteTriggersOncePerPress) {
    const std::size_t from = run.sim().size();
    run.act("press fcu exped\npress fcu vs_push");
    ASSERT_TRUE(received("fcu", "lights", 31));
    EXPECT_EQ(run.commands("(>H:A320_Neo_FCU_EXPED_PUSH)", from).size(), 1u);
    EXPECT_EQ(run.commands("(>H:A320_Neo_FCU_VS_PUSH)", from).size(), 1u);
    const std::string out = run.output();
    std::size_t debugLines = 0;
    for (auto at = out.find("[DEBUG] EXPED_MUX_CH\n"); at != std::string::npos;
         at = out.find("[DEBUG] EXPED_MUX_CH\n", at + 1))
        ++debugLines;
    EXPECT_EQ(debugLines, 1u);
}

// Both increments in one frame send 100 only; then 1000 alone.
TEST_F(PanelRacks, FcuAltitudeIncrementTakesTheSmallerOfTwo) {
    const std::size_t from = run.sim().size();
    run.act("press fcu alt_inc_100\npress fcu alt_inc_1000\npress fcu vs_pull");
    ASSERT_TRUE(run.waitForCommands("(>H:A320_Neo_FCU_VS_PULL)", 1, from));
    run.act("release fcu alt_inc_100\nrelease fcu alt_inc_1000");
    turn("fcu", "hdg", 1);
    run.act("press fcu alt_inc_1000");
    ASSERT_TRUE(run.waitForCommands("XMLVAR_Autopilot_Altitude_Increment", 2, from));
    EXPECT_EQ(run.commands("XMLVAR_Autopilot_Altitude_Increment", from), (std::vector<int>{100, 1000}));
}

// A held repeating switch repeats, every 200 ms at the fastest, and stops on release.
TEST_F(PanelRacks, FcuHeldSwitchRepeatsAndStopsOnRelease) {
    const std::size_t from = run.sim().size();
    run.act("press fcu spd_on");
    // A repeat goes out only when the expiry falls on a pass that reads a frame, so under
    // load the repeats come irregularly, and on a quiet machine the expiry can fall on write
    // passes for seconds: three of them show the switch repeating.
    ASSERT_TRUE(run.waitForEvents("AP_AIRSPEED_ON", 3, from, 30s));
    run.act("release fcu spd_on");
    turn("fcu", "hdg", 1);
    ASSERT_TRUE(run.waitForEvents("HEADING_BUG_INC", 1, from));
    std::vector<long long> times;
    for (const Json& e : run.sim().requests("TransmitClientEvent", from))
        if (e["fields"].value("event", "") == "AP_AIRSPEED_ON") times.push_back(e.value("mono_ns", 0LL));
    // Without the interval a repeat would go with every read, 50 ms apart. The stand-in's
    // clock sees the requests arrive unevenly on a loaded machine, so this only tells the
    // interval from none; its exact rule, 200 ms, is pinned one frame at a time in
    // racks.Fcu (panel_handlers_test).
    for (std::size_t i = 1; i < times.size(); ++i) EXPECT_GE(times[i] - times[i - 1], 100'000'000LL);
    // Frames are handled in order, so nothing of the switch may follow the turn's event,
    // however long the next turn takes to come through.
    const std::size_t released = run.sim().size();
    turn("fcu", "hdg", 1);
    ASSERT_TRUE(run.waitForEvents("HEADING_BUG_INC", 1, released));
    const auto afterRelease = run.eventsBesideBrakes(released);
    EXPECT_EQ(std::count(afterRelease.begin(), afterRelease.end(), "AP_AIRSPEED_ON"), 0);
}

// With all four racks running, the simulator's quit ends the service within seconds.
TEST_F(PanelRacks, TheSimulatorsQuitEndsTheService) {
    const auto quitAt = Clock::now();
    EXPECT_EQ(run.quitSimulator(), 0) << run.output();
    EXPECT_LT(Clock::now() - quitAt, 3s);
}

}  // namespace
