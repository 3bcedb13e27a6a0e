// The racks' firmware on emulated boards, each behind its board's own USB bridge (board-sim's
// defaults), with the service and the stand-in: every input is counted, none retried;
// every field of both panels' frames is worked on its own, and every output field and
// light bit shows on the display drivers and lamps on its own; the axes are calibrated
// through the boards' calibration mode. Also what a real line does to the panels: a
// board that sends before the service opens its port, and a loop too slow for its receive
// buffer.
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <regex>
#include <sstream>

#include "testing/rack_run.h"

namespace {

using namespace racktest;
using testsupport::memberIs;

const std::vector<std::string> kBoards = {"joystick", "pedals", "efis", "fcu"};

// The FCU flies TRK/FPA with the vertical speed selected until 15 s, so that its FPA
// window shows; then HDG V/S.
const char* const kAircraft =
    "{\"at\": 0, \"set\": \"A32NX_AUTOPILOT_SPEED_SELECTED\", \"value\": 250.5}\n"
    "{\"at\": 0, \"set\": \"A32NX_AUTOPILOT_HEADING_SELECTED\", \"value\": 189}\n"
    "{\"at\": 0, \"set\": \"KOHLSMAN SETTING MB\", \"value\": 1013.25}\n"
    "{\"at\": 0, \"set\": \"A32NX_TRK_FPA_MODE_ACTIVE\", \"value\": 1}\n"
    "{\"at\": 0, \"set\": \"A32NX_AUTOPILOT_FPA_SELECTED\", \"value\": -1.5}\n"
    "{\"at\": 0, \"set\": \"AUTOPILOT VERTICAL HOLD\", \"value\": 1}\n"
    "{\"at\": 15, \"set\": \"A32NX_TRK_FPA_MODE_ACTIVE\", \"value\": 0}\n"
    "{\"at\": 15, \"set\": \"AUTOPILOT VERTICAL HOLD\", \"value\": 0}\n";

std::string configFor(const RackRun& run, const std::vector<std::string>& boards) {
    static const std::map<std::string, std::string> names = {{"joystick", "joystick_rack"},
                                                             {"pedals", "pedals_rack"},
                                                             {"efis", "efis_rack"},
                                                             {"fcu", "autopilot_rack"}};
    Json config = Json::object();
    for (const std::string& board : boards) config[run.link(board)] = names.at(board);
    return config.dump();
}

bool isDisplay(const Json& e, const std::string& rack) {
    return e.value("rack", "") == rack && e.value("event", "") == "display";
}

// A panel's display as its drivers showed it, once it matches, from `from` on.
std::optional<Json> waitForDisplay(RackRun& run, const std::string& rack,
                                   const std::function<bool(const Json&)>& shown, std::size_t from = 0) {
    return run.racks().waitFor([&](const Json& e) { return isDisplay(e, rack) && shown(e); }, 10s, from);
}

Json lastDisplay(RackRun& run, const std::string& rack) {
    const auto shown = run.racks().select([&](const Json& e) { return isDisplay(e, rack); });
    return shown.empty() ? Json() : shown.back();
}

// The last lines a board printed (a text rack's calibration, the FCU's line report).
std::vector<std::string> debugLines(RackRun& run, const std::string& rack, std::size_t from = 0) {
    std::vector<std::string> lines;
    for (const Json& e : run.racks().select([&](const Json& e) { return e.value("event", "") == "debug"; }, from))
        if (e.value("rack", "") == rack) lines.push_back(e.value("text", ""));
    return lines;
}

// The FCU's report of its line: frames taken, broken, bytes skipped, buffer found full.
std::map<std::string, int> lastLinkReport(RackRun& run) {
    std::map<std::string, int> counts;
    const auto reports = debugLines(run, "fcu");
    if (reports.empty()) return counts;
    const std::regex pair("(\\w+)=(\\d+)");
    for (auto it = std::sregex_iterator(reports.back().begin(), reports.back().end(), pair);
         it != std::sregex_iterator(); ++it)
        counts[(*it)[1]] = std::stoi((*it)[2]);
    return counts;
}

// What the racks made the simulator do from `from` on, in order, brakes aside: event names,
// and uplink commands as "NAME" (a trigger) or "NAME=VALUE" (a set).
std::vector<std::string> actions(RackRun& run, std::size_t from) {
    std::vector<std::string> done;
    for (const Json& e : run.sim().select([](const Json& e) { return e.contains("request"); }, from)) {
        const std::string request = e.value("request", "");
        if (request == "TransmitClientEvent" && !e.contains("exception")) {
            const std::string event = e["fields"].value("event", "");
            if (event.find("BRAKE") == std::string::npos) done.push_back(event);
        }
        if (request == "SetClientData" && e["fields"].contains("command")) {
            const Json& command = e["fields"]["command"];
            std::ostringstream name;
            name << command.value("name", "");
            if (command.value("kind", 0) == 3) name << '=' << command.value("value", 0);
            done.push_back(name.str());
        }
    }
    return done;
}

std::size_t countIn(const std::vector<std::string>& done, const std::string& name) {
    return countOf(done, name);
}

// One run for the whole suite, its cases in order. The boards start first and are worked
// before the service opens their ports: what they sent then must not act. The joystick's
// and pedals' calibration buttons are held then, so that the reset the open causes starts
// their calibration mode; a toe brake rests at 0.4 V.
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
        run.act("press joystick camera_point_of_interest\npress pedals calibration\n"
                "set pedals brake_position -13000");
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

TEST_F(CockpitOnBoards, CalibratedAxesReachFullScaleAndRest) {
    // A stick on a gimbal that turns its pots through 15 % of their travel each way, a
    // rudder over its whole travel, a brake from 0.4 V (its rest) to 4.4 V.
    for (const char* board : {"joystick", "pedals"})
        ASSERT_TRUE(testsupport::waitUntil(
            [&] {
                const auto lines = debugLines(run(), board);
                return std::any_of(lines.begin(), lines.end(),
                                   [](const std::string& line) { return line.rfind("calibrating", 0) == 0; });
            },
            10s))
            << board << " did not start its calibration";
    const std::size_t reported = run().racks().size();
    run().act("release joystick camera_point_of_interest\nrelease pedals calibration\n"
              "+0.1 move joystick aileron_position 15\n+0.1 move joystick elevator_position 15\n"
              "+0.2 move joystick aileron_position -15\n+0.2 move joystick elevator_position -15\n"
              "+0.3 move joystick aileron_position 0\n+0.3 move joystick elevator_position 0\n"
              "+0.1 move pedals rudder_position 16384\n+0.2 move pedals rudder_position -16384\n"
              "+0.3 move pedals rudder_position 0\n"
              "+0.1 set pedals brake_position 11000\n+0.3 set pedals brake_position -13000\n"
              "+0.5 press joystick camera_point_of_interest\n+0.5 press pedals calibration\n"
              "+0.7 release joystick camera_point_of_interest\n+0.7 release pedals calibration");
    for (const char* axis : {"aileron_position", "elevator_position", "rudder_position", "left_brake"}) {
        const auto stored = run().racks().waitFor(
            [&](const Json& e) { return e.value("text", "").rfind(std::string("calibration ") + axis + " min=", 0) == 0; },
            10s, reported);
        ASSERT_TRUE(stored) << axis << " was not calibrated";
        std::cout << stored->value("rack", "") << ": " << stored->value("text", "") << "\n";
    }
    // Full deflection is 100 %, rest is 0, with the ADC's noise.
    std::size_t from = run().sim().size();
    run().act("move joystick aileron_position 15\nmove joystick elevator_position -15");
    EXPECT_TRUE(run().waitForWrite(2, [](const Json& v) {
        return v.value("AILERON POSITION", 0.0) == 100 && v.value("ELEVATOR POSITION", 0.0) == -100;
    }, from));
    run().act("move joystick aileron_position 0\nmove joystick elevator_position 0");
    from = run().sim().size();
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(run().waitForWrite(2, [](const Json& v) {
            return v.value("AILERON POSITION", 1.0) == 0 && v.value("ELEVATOR POSITION", 1.0) == 0;
        }, from)) << run().output();
    // The brake at rest above 0 V reads released, pressed to its stop full.
    const auto brake = [&](int value, std::size_t since) {
        return run().sim().waitForRequest("TransmitClientEvent", [&](const Json& f) {
            return f.value("event", "") == "AXIS_LEFT_BRAKE_SET" && f.value("data", 0) == value;
        }, 5s, since);
    };
    EXPECT_TRUE(brake(-16384, run().sim().size()));
    run().act("set pedals brake_position 11000\nmove pedals rudder_position -16384");
    from = run().sim().size();
    EXPECT_TRUE(brake(16384, from));
    EXPECT_TRUE(run().waitForWrite(3, [](const Json& v) { return v.value("RUDDER POSITION", 0.0) == -16384; }, from));
    run().act("set pedals brake_position -13000\nmove pedals rudder_position 0");
    EXPECT_TRUE(brake(-16384, run().sim().size()));
}

TEST_F(CockpitOnBoards, WhatWasSentBeforeTheOpenDoesNotAct) {
    // The turn and the press made before the service opened the ports never acted.
    const std::vector<std::string> done = actions(run(), 0);
    EXPECT_EQ(countIn(done, "AP_SPD_VAR_INC"), 0u);
    EXPECT_EQ(countIn(done, "AP_MASTER"), 0u);
    EXPECT_EQ(run().output().find("Error run"), std::string::npos) << run().output();
}

TEST_F(CockpitOnBoards, DisplaysShowTheAircraft) {
    // In TRK/FPA with the vertical speed selected: the TRK lamp and -1.5 degrees; 250.5 kt
    // shows 250 with its managed dot, heading 189 with its dot, 1013.25 mb 1013.
    EXPECT_TRUE(waitForDisplay(run(), "fcu", [](const Json& e) {
        return e["lamps"].value("trk_fpa", false) && e["windows"].value("vs", "") == "-1.5" &&
               e["windows"].value("spd", "") == "250." && e["windows"].value("hdg", "") == "---.";
    })) << run().output();
    EXPECT_TRUE(waitForDisplay(run(), "efis", [](const Json& e) {
        return e.value("display", "").rfind("BARO 1013  QFE", 0) == 0;
    }));
    // From 15 s on, HDG V/S with the vertical speed managed: dashes, the lamp out.
    EXPECT_TRUE(waitForDisplay(run(), "fcu", [](const Json& e) {
        return !e["lamps"].value("trk_fpa", true) && e["windows"].value("vs", "") == "----";
    }, 0)) << run().output();
}

// 100 single detents 300 ms apart over the four knobs, both ways, and taps of 80 to 200 ms
// on the FCU, the EFIS and the joystick meanwhile: every one acts, once.
TEST_F(CockpitOnBoards, EveryDetentAndEveryTapArrives) {
    const std::size_t from = run().sim().size();
    const std::size_t sentFrom = run().racks().size();
    static const char* const knobs[] = {"spd", "hdg", "alt", "vs"};
    static const char* const up[] = {"AP_SPD_VAR_INC", "HEADING_BUG_INC", "AP_ALT_VAR_INC", "AP_VS_VAR_INC"};
    static const char* const down[] = {"AP_SPD_VAR_DEC", "HEADING_BUG_DEC", "AP_ALT_VAR_DEC", "AP_VS_VAR_DEC"};
    std::map<std::string, std::size_t> expected;
    std::ostringstream lines;
    for (int i = 0; i < 100; ++i) {
        const int knob = i % 4;
        const int way = (i / 4) % 2 == 0 ? 1 : -1;
        lines << "+" << 0.3 * (i + 1) << " turn fcu " << knobs[knob] << " " << way << "\n";
        ++expected[way > 0 ? up[knob] : down[knob]];
    }
    // Taps, each button at least a second after its last one.
    static const std::pair<const char*, const char*> taps[] = {
        {"fcu loc", "AP_LOC_HOLD"},           {"fcu appr", "AP_APR_HOLD"},
        {"fcu athr", "AUTO_THROTTLE_ARM"},    {"fcu alt_hold_on", "AP_ALT_HOLD_ON"},
        {"fcu alt_hold_off", "AP_ALT_HOLD_OFF"}, {"fcu vs_hold", "AP_VS_HOLD"},
        {"efis fd", "TOGGLE_FLIGHT_DIRECTOR"}, {"joystick rudder_trim_plus_pct", "RUDDER_TRIM_RIGHT"},
    };
    for (int i = 0; i < 48; ++i) {
        const auto& [control, event] = taps[i % std::size(taps)];
        lines << "+" << 0.2 + 0.6 * i << " hold " << control << " " << 0.08 + 0.12 * (i % 5) / 4 << "\n";
        ++expected[event];
    }
    ASSERT_TRUE(run().act(lines.str()));
    ASSERT_TRUE(testsupport::waitUntil(
        [&] {
            const auto done = actions(run(), from);
            return std::all_of(expected.begin(), expected.end(),
                               [&](const auto& e) { return countIn(done, e.first) >= e.second; });
        },
        60s));
    // Nothing more comes: the next frames of every board are taken without more events.
    const std::size_t settled = run().racks().size();
    ASSERT_TRUE(run().racks().waitFor([](const Json& e) { return e.value("rack", "") == "fcu" && e.value("dir", "") == "out"; }, 2s, settled));
    ASSERT_TRUE(run().waitForEvents("AXIS_LEFT_BRAKE_SET", 3, run().sim().size(), 2s));
    const std::vector<std::string> done = actions(run(), from);
    for (const auto& [event, count] : expected) EXPECT_EQ(countIn(done, event), count) << event;
    // Each detent was a frame of its own.
    std::size_t detentFrames = 0;
    for (const Json& frame : run().racks().frames("fcu", "out", sentFrom))
        for (const char* knob : knobs)
            if (frame.contains("fields") && frame["fields"].value(knob, 0) != 0) ++detentFrames;
    EXPECT_EQ(detentFrames, 100u);
}

// Each of the FCU's press fields alone: its event or command, nothing else, and the one
// display element or lamp that follows it.
TEST_F(CockpitOnBoards, EveryFcuFieldActsAndShowsOnItsOwn) {
    // A window with its managed dot or without, showing dashes or a number.
    const auto dotted = [](const char* name, bool dot) {
        return [=](const Json& e) {
            const std::string text = e["windows"].value(name, "");
            return !text.empty() && (text.back() == '.') == dot;
        };
    };
    const auto dashes = [](const char* name, bool shown) {
        return [=](const Json& e) { return (e["windows"].value(name, "").find('-') == 0) == shown; };
    };
    const auto lampFlips = [&](const char* lamp) {
        const Json before = lastDisplay(run(), "fcu")["lamps"];
        return [=](const Json& e) {
            for (const auto& [name, lit] : before.items())
                if ((e["lamps"].value(name, false) != lit.get<bool>()) != (name == lamp)) return false;
            return true;
        };
    };
    struct Step {
        std::string control;
        std::string done;
        std::function<std::function<bool(const Json&)>()> shows;  // made just before the tap
    };
    const Step steps[] = {
        {"spd_on", "AP_AIRSPEED_ON", [&] { return dotted("spd", false); }},
        {"spd_off", "AP_AIRSPEED_OFF", [&] { return dotted("spd", true); }},
        {"hdg_on", "AP_HDG_HOLD_ON", [&] { return [=](const Json& e) { return dotted("hdg", false)(e) && dashes("hdg", false)(e); }; }},
        {"hdg_off", "AP_HDG_HOLD_OFF", [&] { return [=](const Json& e) { return e["windows"].value("hdg", "") == "---."; }; }},
        {"alt_hold_on", "AP_ALT_HOLD_ON", [&] { return dotted("alt", false); }},
        {"alt_hold_off", "AP_ALT_HOLD_OFF", [&] { return dotted("alt", true); }},
        {"vs_pull", "(>H:A320_Neo_FCU_VS_PULL)", [&] { return dashes("vs", false); }},
        {"vs_push", "(>H:A320_Neo_FCU_VS_PUSH)", [&] { return dashes("vs", true); }},
        {"vs_hold", "AP_VS_HOLD", [&] { return dashes("vs", false); }},
        {"vs_hold", "AP_VS_HOLD", [&] { return dashes("vs", true); }},
        {"loc", "AP_LOC_HOLD", [&] { return lampFlips("loc"); }},
        {"ap1", "AP_MASTER", [&] { return lampFlips("ap1"); }},
        {"athr", "AUTO_THROTTLE_ARM", [&] { return lampFlips("athr"); }},
        {"appr", "AP_APR_HOLD", [&] { return lampFlips("appr"); }},
        {"exped", "(>H:A320_Neo_FCU_EXPED_PUSH)", [&] { return lampFlips("exped"); }},
        {"alt_inc_1000", "XMLVAR_Autopilot_Altitude_Increment=1000", nullptr},
        {"alt_inc_100", "XMLVAR_Autopilot_Altitude_Increment=100", nullptr},
    };
    // The FCU is in HDG V/S by now (see DisplaysShowTheAircraft).
    ASSERT_TRUE(waitForDisplay(run(), "fcu", [](const Json& e) { return !e["lamps"].value("trk_fpa", true); }));
    for (const Step& step : steps) {
        const std::size_t before = run().sim().size();
        const std::size_t shownFrom = run().racks().size();
        const auto shows = step.shows ? step.shows() : nullptr;
        // The service repeats a pulled knob's event only when its repeat interval runs out
        // on a read, which can miss for seconds: the knob is held pulled until the aircraft
        // has taken it, as a pilot would. The rest are taps.
        const bool pulled = std::string("spd_on spd_off hdg_on hdg_off").find(step.control) != std::string::npos;
        run().act((pulled ? "+0.3 press fcu " : "+0.3 hold fcu ") + step.control + (pulled ? "" : " 0.12"));
        EXPECT_TRUE(testsupport::waitUntil([&] { return countIn(actions(run(), before), step.done) > 0; },
                                           pulled ? 30s : 5s))
            << step.control;
        if (shows) {
            EXPECT_TRUE(waitForDisplay(run(), "fcu", shows, shownFrom)) << step.control;
        }
        if (pulled) {
            // Taken, the pull is over although the knob is still held.
            const std::size_t heldFrom = run().racks().size();
            EXPECT_TRUE(run().racks().waitForSent("fcu", memberIs(step.control, 0), 2s, heldFrom)) << step.control;
            run().act("release fcu " + step.control);
        }
        // Nothing but the step's own action (a pulled knob's may repeat).
        const auto done = actions(run(), before);
        EXPECT_TRUE(std::all_of(done.begin(), done.end(), [&](const std::string& d) { return d == step.done; }))
            << step.control << ": " << testing::PrintToString(done);
    }
}

// The EFIS's fields alone: the baro knob, the baro modes (STD on a push), the range and
// mode selectors, the option buttons; each with its lamp or window.
TEST_F(CockpitOnBoards, EveryEfisFieldActsAndShowsOnItsOwn) {
    const auto shows = [&](const std::string& prefix, std::size_t from) {
        return waitForDisplay(run(), "efis", [&](const Json& e) { return e.value("display", "").find(prefix) != std::string::npos; }, from);
    };
    struct Step {
        std::string action;
        std::string done;
        std::string shown;
    };
    const Step steps[] = {
        {"turn efis baro 2", "KOHLSMAN_INC", "BARO 1015  QFE"},
        {"set efis baro_mode 1", "XMLVAR_Baro1_Mode=1", "BARO 1015  QNH"},
        {"set efis baro_mode 2", "XMLVAR_Baro1_Mode=2", "BARO 1015  STD"},
        {"set efis baro_mode 0", "XMLVAR_Baro1_Mode=0", "BARO 1015  QFE"},
        {"hold efis ls 0.1", "BTN_LS_1_FILTER_ACTIVE", "LS [ON]"},
        {"set efis nd_range 4", "A32NX_EFIS_L_ND_RANGE=4", ""},
        {"set efis nd_mode 1", "A32NX_EFIS_L_ND_MODE=1", ""},
        {"set efis option 3", "A32NX_EFIS_L_OPTION=3", "OPT 3"},
        {"set efis option 5", "A32NX_EFIS_L_OPTION=5", "OPT 5"},
        {"set efis option 5", "A32NX_EFIS_L_OPTION=0", "OPT 0"},
    };
    for (const Step& step : steps) {
        const std::size_t before = run().sim().size();
        const std::size_t shownFrom = run().racks().size();
        // A moment between two taps, as a finger takes.
        run().act("+0.3 " + step.action);
        EXPECT_TRUE(testsupport::waitUntil([&] { return countIn(actions(run(), before), step.done) > 0; }, 5s))
            << step.action;
        if (!step.shown.empty()) {
            EXPECT_TRUE(shows(step.shown, shownFrom)) << step.action;
        }
    }
    // The flight director lamp follows the aircraft.
    const bool fdOn = lastDisplay(run(), "efis").value("display", "").find("FD [ON]") != std::string::npos;
    const std::size_t shownFrom = run().racks().size();
    run().act("hold efis fd 0.1");
    EXPECT_TRUE(shows(fdOn ? "FD [OFF]" : "FD [ON]", shownFrom));
}

TEST_F(CockpitOnBoards, TheFcuLosesNoFrameOfTheService) {
    // The board counts what its line brought: with a loop that keeps up, every frame the
    // service wrote was taken whole.
    const std::size_t from = run().racks().size();
    ASSERT_TRUE(run().racks().waitFor([](const Json& e) { return e.value("event", "") == "debug" && e.value("rack", "") == "fcu"; }, 5s, from));
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
    ASSERT_TRUE(testsupport::waitUntil([&] { return debugLines(run, "fcu", from).size() >= 5; }, 20s));
    const auto counts = lastLinkReport(run);
    const std::size_t written = run.racks().frames("fcu", "in").size();
    std::cout << "slow loop: the service wrote " << written << " frames; the board took " << counts.at("frames")
              << ", found " << counts.at("broken") << " broken, skipped " << counts.at("skipped")
              << " bytes and found its buffer full " << counts.at("full") << " times\n";
    EXPECT_GT(counts.at("full") + counts.at("broken"), 0);
    EXPECT_LT(static_cast<std::size_t>(counts.at("frames")), written);
}

}  // namespace
