// The joystick and pedals racks over one whole run, shared by the cases in the order
// written (ctest runs the program as one test): messages on the virtual racks' lines
// become data writes and events at the stand-in.
#include <gtest/gtest.h>

#include <map>

#include "testing/rack_run.h"

namespace {

using namespace racktest;
using testsupport::memberIs;

constexpr unsigned kStick = 2;
constexpr unsigned kRudder = 3;

class TextRacks : public testing::Test {
protected:
    static void SetUpTestSuite() {
        shared = new RackRun({"joystick", "pedals"});
        const Json config = {{shared->link("joystick"), "joystick_rack"},
                             {shared->link("pedals"), "pedals_rack"}};
        started = shared->startService(config.dump(), {"joystick", "pedals"});
    }
    static void TearDownTestSuite() { delete shared; }
    void SetUp() override { ASSERT_TRUE(started) << run.output(); }

    // Sends `lines` to the racks and waits for the stick write with this aileron value.
    std::optional<Json> stickWith(double aileron, const std::string& lines, std::size_t from) {
        const std::string stick = "set joystick aileron_position " + std::to_string(aileron);
        run.act(lines.empty() ? stick : lines + "\n" + stick);
        return run.waitForWrite(kStick, memberIs("AILERON POSITION", aileron), from);
    }
    // The camera value the joystick's message with this aileron value was written with.
    double cameraWith(double aileron, const std::string& camera) {
        const auto write =
            stickWith(aileron, "set joystick camera_point_of_interest " + camera, run.sim().size());
        return write ? (*write)["fields"]["values"].value("SMART CAMERA ACTIVE", -1.0) : -1.0;
    }

    static inline RackRun* shared = nullptr;
    static inline bool started = false;
    RackRun& run = *shared;
};

TEST_F(TextRacks, RacksSleepTheWholeWaitForTheSimulatorBeforeTheirFirstWrite) {
    const auto first = run.waitForWrite(kStick, memberIs("AILERON POSITION", 0), 0, 10s);
    ASSERT_TRUE(first) << run.output();
    // A rack that starts after the simulator's answer was dispatched has nothing to wait
    // for (a loaded machine may run the main loop first). One that starts before it waits:
    // it started once the session was set up, and sleeps the whole 3 s although the answer
    // comes at once.
    if (run.output().find("[WARN] Rack joystick_rack in ") == std::string::npos)
        GTEST_SKIP() << "the joystick rack started after the simulator's answer was dispatched: "
                        "it had no wait to sleep";
    const auto setUp = run.sim().waitForRequest("RequestClientData", nullptr, 0ms);
    ASSERT_TRUE(setUp);
    EXPECT_GT((*first)["mono_ns"].get<std::int64_t>() - (*setUp)["mono_ns"].get<std::int64_t>(),
              2'800'000'000);
}

TEST_F(TextRacks, CameraIsOnAboveZeroAndAxesPassUnchanged) {
    // 0.9 truncates to 0.
    EXPECT_EQ(cameraWith(150, "0.9"), 0.0);
    EXPECT_EQ(cameraWith(-150, "true"), 1.0);
    EXPECT_EQ(cameraWith(12.5, "-1"), 0.0);
    EXPECT_EQ(cameraWith(13, "2"), 1.0);
}

TEST_F(TextRacks, AHeldSwitchActsOncePerPress) {
    std::size_t from = run.sim().size();
    run.act("press joystick autopilot_master");
    ASSERT_TRUE(run.waitForEvents("AP_MASTER", 1, from));
    ASSERT_TRUE(stickWith(21, "", from));
    ASSERT_TRUE(stickWith(22, "release joystick autopilot_master", from));
    EXPECT_EQ(countOf(run.sim().transmittedEvents(from), "AP_MASTER"), 1u);
    run.act("press joystick autopilot_master");
    EXPECT_TRUE(run.waitForEvents("AP_MASTER", 2, from));
}

TEST_F(TextRacks, BothTrimsThenBothSpoilersRisingInOneMessageEach) {
    std::size_t from = run.sim().size();
    run.act("press joystick rudder_trim_plus_pct\npress joystick rudder_trim_minus_pct");
    ASSERT_TRUE(run.waitForEvents("RUDDER_TRIM_LEFT", 1, from));
    EXPECT_EQ(run.eventsBesideBrakes(from),
              (std::vector<std::string>{"RUDDER_TRIM_RIGHT", "RUDDER_TRIM_LEFT"}));
    ASSERT_TRUE(stickWith(
        31, "release joystick rudder_trim_plus_pct\nrelease joystick rudder_trim_minus_pct", from));
    from = run.sim().size();
    run.act("press joystick spoiler_handle_plus_position\npress joystick spoiler_handle_minus_position");
    ASSERT_TRUE(run.waitForEvents("SPOILERS_DEC", 25, from));
    std::vector<std::string> spoilers(25, "SPOILERS_INC");
    spoilers.insert(spoilers.end(), 25, "SPOILERS_DEC");
    EXPECT_EQ(run.eventsBesideBrakes(from), spoilers);
}

// The rudder write, then the left and the right brake with the truncated value; the three
// requests of one message go out together, so their send ids follow.
TEST_F(TextRacks, PedalsWriteTheRudderThenBothBrakes) {
    for (const auto& [brake, sent] : {std::pair{"12.7", 12}, {"true", 1}, {"-300", -300}}) {
        const std::size_t from = run.sim().size();
        run.act(std::string("set pedals rudder_position 8192\nset pedals brake_position ") + brake);
        const auto brakeEvent = [&, sent = sent](const std::string& name) {
            return [=](const Json& f) { return f.value("event", "") == name && f.value("data", 0) == sent; };
        };
        ASSERT_TRUE(run.sim().waitForRequest("TransmitClientEvent",
                                             brakeEvent("AXIS_RIGHT_BRAKE_SET"), 5s, from));
        std::map<unsigned, Json> bySendId;
        for (const Json& entry : run.sim().select(
                 testsupport::entryWith("dir", "in", [](const Json&) { return true; })))
            bySendId[entry.value("dwSendID", 0u)] = entry["fields"];
        const auto left = std::find_if(bySendId.begin(), bySendId.end(), [&](const auto& request) {
            return brakeEvent("AXIS_LEFT_BRAKE_SET")(request.second);
        });
        ASSERT_NE(left, bySendId.end());
        EXPECT_EQ(bySendId[left->first - 1].value("DefineID", 0u), kRudder);
        EXPECT_TRUE(memberIs("RUDDER POSITION", 8192)(bySendId[left->first - 1]["values"]));
        EXPECT_TRUE(brakeEvent("AXIS_RIGHT_BRAKE_SET")(bySendId[left->first + 1]));
    }
}

// A message without a member sends what its earlier members imply, then ends that rack
// only: the pedals go on. Then a brake given as text ends the pedals before anything of
// that message is sent: its rudder value never reaches the simulator.
TEST_F(TextRacks, AFaultyMessageEndsItsRackOnly) {
    const std::size_t from = run.sim().size();
    run.act("unset joystick autopilot_master\npress joystick rudder_trim_plus_pct");
    ASSERT_TRUE(run.service().waitForOutput(
        "Error run: [json.exception.type_error.302] type must be number, but is null\n", 5s))
        << run.output();
    const std::size_t afterError = run.sim().size();
    for (int rudder : {1000, 1001}) {
        run.act("set pedals rudder_position " + std::to_string(rudder));
        ASSERT_TRUE(run.waitForWrite(kRudder, memberIs("RUDDER POSITION", rudder), afterError));
    }
    EXPECT_FALSE(run.waitForWrite(kStick, [](const Json&) { return true; }, afterError, 0ms));
    EXPECT_EQ(countOf(run.sim().transmittedEvents(from), "RUDDER_TRIM_RIGHT"), 1u);

    run.act("set pedals rudder_position 4321\nset pedals brake_position \"x\"");
    ASSERT_TRUE(run.service().waitForOutput("type must be number, but is string\n", 5s)) << run.output();
    EXPECT_FALSE(run.waitForWrite(kRudder, memberIs("RUDDER POSITION", 4321), afterError, 0ms));
}

TEST_F(TextRacks, TheSimulatorsQuitEndsTheService) {
    EXPECT_EQ(run.quitSimulator(), 0) << run.output();
}

}  // namespace
