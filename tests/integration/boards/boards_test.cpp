// The racks' firmware on emulated boards, with the service and the stand-in: each kind of
// input goes from a pin to the simulator, and the aircraft's values come back to the
// panels' display drivers. Also what a real line does to the panels: a board that sends
// before the service opens its port, and a loop too slow for its receive buffer.
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <regex>

#include "tests/integration/racks/rack_run.h"

namespace {

using namespace racktest;
using testsupport::memberIs;

const std::vector<std::string> kBoards = {"joystick", "pedals", "efis", "fcu"};

const char* const kAircraft =
    "{\"at\": 0, \"set\": \"A32NX_AUTOPILOT_SPEED_SELECTED\", \"value\": 250.5}\n"
    "{\"at\": 0, \"set\": \"A32NX_FCU_SPD_MANAGED_DOT\", \"value\": 1}\n"
    "{\"at\": 0, \"set\": \"A32NX_AUTOPILOT_HEADING_SELECTED\", \"value\": 189}\n"
    "{\"at\": 0, \"set\": \"A32NX_FCU_HDG_MANAGED_DOT\", \"value\": 1}\n"
    "{\"at\": 0, \"set\": \"A320_FCU_SHOW_SELECTED_HEADING\", \"value\": 1}\n"
    "{\"at\": 0, \"set\": \"KOHLSMAN SETTING MB\", \"value\": 1013.25}\n";

std::string configFor(const RackRun& run, const std::vector<std::string>& boards) {
    static const std::map<std::string, std::string> names = {{"joystick", "joystick_rack"},
                                                             {"pedals", "pedals_rack"},
                                                             {"efis", "efis_rack"},
                                                             {"fcu", "autopilot_rack"}};
    Json config = Json::object();
    for (const std::string& board : boards) config[run.link(board)] = names.at(board);
    return config.dump();
}

// A panel's display as its drivers showed it, once it matches.
std::optional<Json> waitForDisplay(RackRun& run, const std::string& rack,
                                   const std::function<bool(const Json&)>& shown) {
    return run.racks().waitFor(
        [&](const Json& e) { return e.value("rack", "") == rack && e.value("event", "") == "display" && shown(e); },
        10s);
}

// The FCU's report of its line: frames taken, broken, bytes skipped, buffer found full.
std::map<std::string, int> lastLinkReport(RackRun& run) {
    std::map<std::string, int> counts;
    const auto reports = run.racks().select([](const Json& e) { return e.value("event", "") == "debug"; });
    if (reports.empty()) return counts;
    const std::string text = reports.back().value("text", "");
    const std::regex pair("(\\w+)=(\\d+)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pair); it != std::sregex_iterator(); ++it)
        counts[(*it)[1]] = std::stoi((*it)[2]);
    return counts;
}

// Turns a knob until one frame carried the whole turn and the service took that frame, and
// returns the events it gave. The service reads a frame's length at fixed moments and drops
// what it finds of a frame still arriving, knob counts and all; such a turn is tried again.
std::optional<std::size_t> takenTurn(RackRun& run, const std::string& rack, const std::string& knob,
                                     int detents, const std::string& event) {
    for (int attempt = 0; attempt < 6; ++attempt) {
        const std::size_t from = run.sim().size();
        const std::size_t sentFrom = run.racks().size();
        run.act("turn " + rack + " " + knob + " " + std::to_string(detents));
        const auto whole = run.racks().waitForSent(rack, memberIs(knob, detents), 2s, sentFrom);
        const bool taken = run.waitForEvents(event, 1, from, 2s);
        if (!whole || !taken) {
            std::cout << "a turn of " << rack << " " << knob << " was " << (whole ? "lost" : "split")
                      << "; again\n";
            continue;
        }
        run.waitForEvents(event, static_cast<std::size_t>(std::abs(detents)), from, 2s);
        return countOf(run.sim().transmittedEvents(from), event);
    }
    return std::nullopt;
}

// One run for the whole suite: the boards start first and are worked before the service
// opens their ports; what they sent then must not act.
class CockpitOnBoards : public testing::Test {
protected:
    static void SetUpTestSuite() {
        script_ = std::make_unique<testsupport::TempDir>();
        script_->write("aircraft.jsonl", kAircraft);
        run_ = std::make_unique<RackRun>(kBoards, std::vector<std::string>{"--script", script_->file("aircraft.jsonl")},
                                         std::vector<std::string>{"board-sim"});
        RackRun& run = *run_;
        run.act("turn fcu spd 3\npress joystick autopilot_master");
        ASSERT_TRUE(run.racks().waitForSent("fcu", memberIs("spd", 3), 10s));
        ASSERT_TRUE(run.racks().waitForSent("joystick", memberIs("autopilot_master", 1), 10s));
        run.act("release joystick autopilot_master");
        ASSERT_TRUE(run.racks().waitForSent("joystick", memberIs("autopilot_master", 0), 10s));
        ASSERT_TRUE(run.startService(configFor(run, kBoards), kBoards)) << run.output();
    }
    static void TearDownTestSuite() {
        run_.reset();
        script_.reset();
    }
    void SetUp() override { ASSERT_TRUE(run_) << "the run did not start"; }

    RackRun& run() { return *run_; }

    static std::unique_ptr<testsupport::TempDir> script_;
    static std::unique_ptr<RackRun> run_;
};

std::unique_ptr<testsupport::TempDir> CockpitOnBoards::script_;
std::unique_ptr<RackRun> CockpitOnBoards::run_;

TEST_F(CockpitOnBoards, DisplaysShowTheAircraft) {
    // 250.5 kt shows 250 with its managed dot, heading 189 with its dot, 1013.25 mb 1013.
    EXPECT_TRUE(waitForDisplay(run(), "fcu", [](const Json& e) {
        return e["windows"].value("spd", "") == "250." && e["windows"].value("hdg", "") == "189.";
    })) << run().output();
    run().act("set efis baro_mode 1");
    EXPECT_TRUE(waitForDisplay(run(), "efis", [](const Json& e) {
        return e.value("display", "").rfind("BARO 1013  QNH", 0) == 0;
    }));
}

TEST_F(CockpitOnBoards, WhatWasSentBeforeTheOpenDoesNotAct) {
    // Once the FCU's frames are being read (a later turn acts), nothing of the turn and the
    // press made before the service opened the ports has reached the simulator.
    ASSERT_EQ(takenTurn(run(), "fcu", "alt", 1, "AP_ALT_VAR_INC"), 1u) << run().output();
    const auto events = run().sim().transmittedEvents();
    EXPECT_EQ(countOf(events, "AP_SPD_VAR_INC"), 0u);
    EXPECT_EQ(countOf(events, "AP_MASTER"), 0u);
    EXPECT_EQ(run().output().find("Error run"), std::string::npos) << run().output();
}

TEST_F(CockpitOnBoards, AxesArriveScaled) {
    // A quarter deflection of the stick is a quarter of the supply above the middle.
    std::size_t from = run().sim().size();
    run().act("move joystick aileron_position 25");
    EXPECT_TRUE(run().waitForWrite(2, [](const Json& v) { return std::abs(v.value("AILERON POSITION", 0.0) - 25) < 0.5; }, from));
    run().act("set pedals brake_position 16000\nmove pedals rudder_position -8192");
    const auto brake = run().sim().waitForRequest(
        "TransmitClientEvent",
        [](const Json& f) { return f.value("event", "") == "AXIS_LEFT_BRAKE_SET" && std::abs(f.value("data", 0) - 16000) < 50; },
        5s, from);
    EXPECT_TRUE(brake);
    EXPECT_TRUE(run().waitForWrite(3, [](const Json& v) { return std::abs(v.value("RUDDER POSITION", 0.0) + 8192) < 40; }, from));
}

TEST_F(CockpitOnBoards, PressesActOnceAndHeldSwitchesRepeat) {
    std::size_t from = run().sim().size();
    // Held over several frames, through its contact's bounce: one AP_MASTER, and AP1 lit.
    run().act("hold fcu ap1 0.5");
    EXPECT_TRUE(waitForDisplay(run(), "fcu", [](const Json& e) { return e["lamps"].value("ap1", false); }));
    run().act("hold joystick autopilot_master 0.5");
    ASSERT_TRUE(run().waitForEvents("AP_MASTER", 2, from));
    // A held speed switch: the board reports it in every frame for as long as it is held,
    // and the service repeats its event. The service repeats only when its 200 ms interval
    // runs out on a pass that reads a frame; its read and write passes drift against each
    // other, and on a quiet machine the expiry can fall on write passes for seconds on end.
    // So the switch stays held until the second event, not for a fixed time.
    const std::size_t sentFrom = run().racks().size();
    run().act("press fcu spd_on");
    EXPECT_TRUE(run().waitForEvents("AP_AIRSPEED_ON", 2, from, 30s));
    run().act("release fcu spd_on");
    // The frames the board sent from the press on, once one after the hold has the switch off.
    const auto switchOn = [](const Json& e) { return e["fields"].value("spd_on", 0) != 0; };
    std::vector<Json> sent;
    std::vector<Json>::iterator held, released;
    ASSERT_TRUE(testsupport::waitUntil(
        [&] {
            sent = run().racks().frames("fcu", "out", sentFrom);
            std::erase_if(sent, [](const Json& e) { return !e.contains("fields"); });
            held = std::find_if(sent.begin(), sent.end(), switchOn);
            released = std::find_if_not(held, sent.end(), switchOn);
            return released != sent.end();
        },
        5s));
    // One unbroken run of frames that carry the switch: no frame in the middle dropped it.
    EXPECT_TRUE(std::none_of(released, sent.end(), switchOn));
    EXPECT_EQ(countOf(run().sim().transmittedEvents(from), "AP_MASTER"), 2u);
}

TEST_F(CockpitOnBoards, DetentsArriveOneEventEach) {
    // Every detent of a frame the service takes is one event: single ones, and three.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(takenTurn(run(), "fcu", "hdg", 1, "HEADING_BUG_INC"), 1u);
    EXPECT_EQ(takenTurn(run(), "fcu", "hdg", -3, "HEADING_BUG_DEC"), 3u);
    EXPECT_EQ(takenTurn(run(), "efis", "baro", 3, "KOHLSMAN_INC"), 3u);
}

TEST_F(CockpitOnBoards, TheFcuLosesNoFrameOfTheService) {
    // The board counts what its line brought: with a loop that keeps up, every frame the
    // service wrote was taken whole.
    ASSERT_TRUE(run().racks().waitFor([](const Json& e) { return e.value("event", "") == "debug"; }, 5s));
    const auto counts = lastLinkReport(run());
    EXPECT_GT(counts.at("frames"), 0);
    EXPECT_EQ(counts.at("broken"), 0);
    EXPECT_EQ(counts.at("full"), 0);
}

// The FCU with a loop 120 ms too slow: the service's 50-byte frames every 100 ms overfill
// the 64-byte receive buffer. The loss must show in the board's own counts.
TEST(SerialRealities, ASlowLoopCountsWhatItLoses) {
    RackRun run({"fcu"}, {},
                {"board-sim", "--fcu-firmware", std::string(ORVENDALE_FIRMWARE_DIR) + "/fcu-slow-loop.elf"});
    ASSERT_TRUE(run.startService(configFor(run, {"fcu"}), {"fcu"})) << run.output();
    const std::size_t from = run.racks().size();
    // Five of the board's reports, about five seconds of frames.
    ASSERT_TRUE(testsupport::waitUntil(
        [&] {
            return run.racks().select([](const Json& e) { return e.value("event", "") == "debug"; }, from).size() >= 5;
        },
        20s));
    const auto counts = lastLinkReport(run);
    const std::size_t written = run.racks().frames("fcu", "in").size();
    std::cout << "slow loop: the service wrote " << written << " frames; the board took " << counts.at("frames")
              << ", found " << counts.at("broken") << " broken, skipped " << counts.at("skipped")
              << " bytes and found its buffer full " << counts.at("full") << " times\n";
    EXPECT_GT(counts.at("full") + counts.at("broken"), 0);
    EXPECT_LT(static_cast<std::size_t>(counts.at("frames")), written);
}

}  // namespace
