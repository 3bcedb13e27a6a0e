// The stand-in's portable pieces: the aircraft model and its views, the uplink decoding,
// the request framing, the script reader and the registry file's editing.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/request_bytes.h"
#include "tools/sim-standin/cockpit_vars.h"
#include "tools/sim-standin/companion_module.h"
#include "tools/sim-standin/frame_reader.h"
#include "tools/sim-standin/port_registry.h"
#include "tools/sim-standin/scenario_script.h"
#include "tools/sim-standin/sim_events.h"
#include "tools/sim-standin/sim_vars.h"

namespace {

using namespace standin;
using wirebytes::join;
using wirebytes::words;

void fire(AircraftModel& model, const char* event, int times = 1, std::int32_t data = 0) {
    for (int i = 0; i < times; ++i) findSimEvent(event)->apply(model, data);
}

double simVar(const AircraftModel& model, const char* name, const char* unit) {
    const SimVarInfo* var = findSimVar(name);
    return readSimVar(model, *var) * findUnit(unit, var->quantity)->perBase;
}

double cockpit(const AircraftModel& model, const char* name) {
    return readCockpitVar(model, *findCockpitVar(name));
}

TEST(StandinModel, SelectedValuesKeepTheAirlinersRanges) {
    AircraftModel model;
    fire(model, "AP_SPD_VAR_INC", 200);
    EXPECT_EQ(simVar(model, "AUTOPILOT AIRSPEED HOLD VAR", "knots"), 399);
    fire(model, "AP_SPD_VAR_DEC", 400);
    EXPECT_EQ(cockpit(model, "A32NX_AUTOPILOT_SPEED_SELECTED"), 100);

    model.set(ModelVar::Heading, 358);
    fire(model, "HEADING_BUG_INC", 3);
    EXPECT_EQ(simVar(model, "AUTOPILOT HEADING LOCK DIR", "degrees"), 1);
    fire(model, "HEADING_BUG_DEC", 2);
    EXPECT_EQ(cockpit(model, "A32NX_AUTOPILOT_HEADING_SELECTED"), 359);
    EXPECT_EQ(cockpit(model, "A320_FCU_SHOW_SELECTED_HEADING"), 1);

    // Altitude steps snap to the increment set over the uplink.
    model.set(ModelVar::Altitude, 3550);
    fire(model, "AP_ALT_VAR_INC");
    EXPECT_EQ(simVar(model, "AUTOPILOT ALTITUDE LOCK VAR:3", "feet"), 3600);
    EXPECT_EQ(setCockpitVar(model, "XMLVAR_Autopilot_Altitude_Increment", 1000), "set");
    fire(model, "AP_ALT_VAR_DEC");
    EXPECT_EQ(model.get(ModelVar::Altitude), 3000);
    fire(model, "AP_ALT_VAR_INC", 60);
    EXPECT_EQ(model.get(ModelVar::Altitude), 49000);
    fire(model, "AP_ALT_VAR_DEC", 60);
    EXPECT_EQ(model.get(ModelVar::Altitude), 100);

    fire(model, "KOHLSMAN_INC", 2);
    EXPECT_DOUBLE_EQ(simVar(model, "KOHLSMAN SETTING MB:1", "Millibars"), 1015.25);
    EXPECT_NEAR(simVar(model, "KOHLSMAN SETTING MB", "inHg"), 1015.25 / 33.8639, 1e-9);
}

TEST(StandinModel, EventsAndCockpitVariablesAgree) {
    AircraftModel model;
    fire(model, "AP_MASTER");
    EXPECT_EQ(simVar(model, "AUTOPILOT MASTER", "Bool"), 1);
    EXPECT_EQ(cockpit(model, "A32NX_AUTOPILOT_1_ACTIVE"), 1);
    fire(model, "TOGGLE_FLIGHT_DIRECTOR");
    EXPECT_EQ(simVar(model, "AUTOPILOT FLIGHT DIRECTOR ACTIVE", "Bool"), 0);
    fire(model, "AP_AIRSPEED_ON");
    EXPECT_EQ(cockpit(model, "A32NX_FCU_SPD_MANAGED_DOT"), 0);
    fire(model, "AUTO_THROTTLE_ARM");
    EXPECT_EQ(cockpit(model, "A32NX_AUTOTHRUST_STATUS"), 1);
    EXPECT_EQ(simVar(model, "AUTOPILOT THROTTLE ARM", "Bool"), 1);

    fire(model, "SPOILERS_INC", 25);
    EXPECT_EQ(simVar(model, "SPOILERS HANDLE POSITION", "percent"), 100);
    fire(model, "AXIS_LEFT_BRAKE_SET", 1, -16384);
    fire(model, "AXIS_RIGHT_BRAKE_SET", 1, 16384);
    EXPECT_EQ(simVar(model, "BRAKE LEFT POSITION", "position"), 0);
    EXPECT_EQ(simVar(model, "BRAKE RIGHT POSITION", "position"), 1);

    // Writes come in the datum's unit and are kept within range.
    const SimVarInfo* rudder = findSimVar("RUDDER POSITION");
    writeSimVar(model, *rudder, -8192.0 / findUnit("position 16K", rudder->quantity)->perBase);
    EXPECT_EQ(simVar(model, "RUDDER POSITION", "percent"), -50);
    writeSimVar(model, *rudder, 7.0);
    EXPECT_EQ(simVar(model, "RUDDER POSITION", "position"), 1);
    EXPECT_FALSE(findUnit("feet", rudder->quantity));
}

TEST(StandinModel, UplinkTriggersActOnTheModel) {
    AircraftModel model;
    CompanionModule companion(model);
    auto write = [&](std::uint8_t kind, const std::string& name, std::uint16_t value = 0) {
        const Bytes block = wirebytes::uplinkBlock(0, kind, name, value);
        return companion.writeArea(*companion.findArea("orvendale.uplink"), block)->effect;
    };
    EXPECT_EQ(write(2, "BTN_LS_1_FILTER_ACTIVE"), "toggled");
    EXPECT_EQ(write(2, "(>H:A320_Neo_FCU_EXPED_PUSH)"), "executed");
    EXPECT_EQ(write(2, "(>H:A320_Neo_FCU_VS_PULL)"), "executed");
    EXPECT_EQ(cockpit(model, "A32NX_FCU_VS_MANAGED"), 0);
    EXPECT_EQ(write(2, "(>H:A320_Neo_FCU_VS_PUSH)"), "executed");
    EXPECT_EQ(cockpit(model, "A32NX_FCU_VS_MANAGED"), 1);
    EXPECT_EQ(write(3, "A32NX_AUTOPILOT_VS_SELECTED", static_cast<std::uint16_t>(-1500)), "set");
    EXPECT_EQ(simVar(model, "AUTOPILOT VERTICAL HOLD VAR", "feet per minute"), -1500);
    EXPECT_EQ(write(3, "(>H:A320_Neo_FCU_VS_PUSH)", 1), "ignored: not a variable");
    EXPECT_EQ(write(7, "BTN_LS_1_FILTER_ACTIVE"), "ignored: unknown kind");

    // In TRK/FPA mode the vertical knob selects the flight-path angle, published in tenths.
    write(2, "(>H:A32NX.FCU_TRK_FPA_TOGGLE_PUSH)");
    fire(model, "AP_VS_VAR_DEC", 15);
    ASSERT_TRUE(companion.publish());
    const Bytes& downlink = companion.area(*companion.findArea("orvendale.downlink")).bytes;
    auto slot = [&](std::size_t offset) {
        return static_cast<std::int32_t>(wirebytes::get32(downlink, 4 + offset));
    };
    EXPECT_EQ(slot(52), -15);
    EXPECT_EQ(slot(4), 10);             // LS
    EXPECT_EQ(slot(68), 10);            // expedite
    EXPECT_EQ(slot(96), 10);            // TRK/FPA
    EXPECT_FALSE(companion.publish());  // unchanged: no new publication
}

TEST(StandinUplink, NamesAreReadWithinTheBlock) {
    Bytes block(132, 'A');
    block[4] = 2;
    const UplinkCommand command = decodeUplink(block.data(), block.size());
    EXPECT_FALSE(command.terminated);
    EXPECT_EQ(command.name.size(), 127u);
    EXPECT_TRUE(decodeUplink(block.data(), 3).name.empty());
}

// The lengths it refuses are checked over real sockets (process_test); here, a request
// that comes in pieces.
TEST(StandinFraming, RequestsAreJoinedAcrossReads) {
    FrameReader reader;
    const Bytes two = join(words({16, 5, 0xF0000001, 1}), words({20, 5, 0xF0000001}));
    reader.append(two.data(), two.size());
    ASSERT_TRUE(reader.next());
    EXPECT_FALSE(reader.next());  // the second is still coming
    const Bytes rest = words({2, 0x09090909});
    reader.append(rest.data(), rest.size());
    ASSERT_TRUE(reader.next());
    EXPECT_EQ(reader.problem(), "");
}

TEST(StandinScript, ActionsAreCheckedAndOrdered) {
    std::istringstream good(
        "# warm-up\n"
        "{\"at\": 3, \"quit\": true}\n"
        "\n"
        "{\"at\": 1, \"set\": \"A32NX_AUTOPILOT_SPEED_SELECTED\", \"value\": 280}\n"
        "{\"at\": 1, \"set\": \"AUTOPILOT ALTITUDE LOCK VAR\", \"value\": 1500, \"unit\": "
        "\"meters\"}\n");
    const ScriptLoad load = parseScript(good);
    ASSERT_EQ(load.error, "");
    ASSERT_EQ(load.actions.size(), 3u);
    EXPECT_EQ(load.actions[2].kind, ScriptAction::Kind::Quit);
    AircraftModel model;
    for (const ScriptAction& action : load.actions) applyToModel(action, model);
    EXPECT_EQ(model.get(ModelVar::Speed), 280);
    EXPECT_NEAR(model.get(ModelVar::Altitude), 1500 / 0.3048, 1e-6);

    std::istringstream unknown(
        "{\"at\": 1, \"event\": \"AP_MASTER\"}\n{\"at\": 2, \"set\": \"NOPE\", \"value\": 1}\n");
    EXPECT_EQ(parseScript(unknown).error, "line 2: unknown variable NOPE");
    std::istringstream broken("{\"at\": 1, \"quit\": tru}\n");
    EXPECT_EQ(parseScript(broken).error, "line 1: not valid JSON");
    // The example shipped with the stand-in stays valid.
    EXPECT_EQ(loadScript(STANDIN_SOURCE_DIR "/examples/short_flight.jsonl").error, "");
}

TEST(StandinRegistry, PortsAreAddedAndRemovedAroundOtherContent) {
    const std::string key(kSimulatorKey);
    const std::string before = "[Other]\nA=1\n\n[" + key + "]\nsimconnect_port_ipv4=1\nKeep=yes\n";
    const std::string published = setIniValues(
        before, key, {{"SimConnect_Port_IPv4", "500"}, {"SimConnect_Port_IPv6", "600"}});
    EXPECT_EQ(published, "[Other]\nA=1\n\n[" + key +
                             "]\nSimConnect_Port_IPv4=500\nKeep=yes\nSimConnect_Port_IPv6=600\n");
    // Only values that are still ours go.
    const std::string replaced = setIniValues(published, key, {{"SimConnect_Port_IPv6", "700"}});
    EXPECT_EQ(removeIniValues(replaced, key,
                              {{"SimConnect_Port_IPv4", "500"}, {"SimConnect_Port_IPv6", "600"}}),
              "[Other]\nA=1\n\n[" + key + "]\nKeep=yes\nSimConnect_Port_IPv6=700\n");
    const std::string fresh = setIniValues("", key, {{"SimConnect_Port_IPv4", "500"}});
    EXPECT_EQ(removeIniValues(fresh, key, {{"SimConnect_Port_IPv4", "500"}}), "");
}

}  // namespace
