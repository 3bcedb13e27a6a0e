// The stand-in's portable pieces: the aircraft model at its edges, the uplink decoding,
// the request framing, the script reader and the registry file's editing.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/request_bytes.h"
#include "tools/sim-standin/cockpit_vars.h"
#include "tools/sim-standin/frame_reader.h"
#include "tools/sim-standin/port_registry.h"
#include "tools/sim-standin/scenario_script.h"
#include "tools/sim-standin/sim_events.h"
#include "tools/sim-standin/sim_vars.h"
#include "tools/sim-standin/uplink_command.h"

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

// What the racks' whole runs do not reach: the ends of the ranges, and the brake axes.
TEST(StandinModel, ValuesKeepTheirRanges) {
    AircraftModel model;
    fire(model, "AP_SPD_VAR_INC", 200);
    EXPECT_EQ(simVar(model, "AUTOPILOT AIRSPEED HOLD VAR", "knots"), 399);
    fire(model, "AP_SPD_VAR_DEC", 400);
    EXPECT_EQ(cockpit(model, "A32NX_AUTOPILOT_SPEED_SELECTED"), 100);
    model.set(ModelVar::Heading, 358);
    fire(model, "HEADING_BUG_INC", 3);
    EXPECT_EQ(simVar(model, "AUTOPILOT HEADING LOCK DIR", "degrees"), 1);

    // Altitude steps snap to the increment set over the uplink.
    model.set(ModelVar::Altitude, 3550);
    fire(model, "AP_ALT_VAR_INC");
    EXPECT_EQ(simVar(model, "AUTOPILOT ALTITUDE LOCK VAR:3", "feet"), 3600);
    EXPECT_EQ(setCockpitVar(model, "XMLVAR_Autopilot_Altitude_Increment", 1000), "set");
    fire(model, "AP_ALT_VAR_DEC");
    EXPECT_EQ(model.get(ModelVar::Altitude), 3000);
    fire(model, "AP_ALT_VAR_INC", 60);
    EXPECT_EQ(model.get(ModelVar::Altitude), 49000);

    fire(model, "AXIS_LEFT_BRAKE_SET", 1, -16384);
    fire(model, "AXIS_RIGHT_BRAKE_SET", 1, 16384);
    EXPECT_EQ(simVar(model, "BRAKE LEFT POSITION", "position"), 0);
    EXPECT_EQ(simVar(model, "BRAKE RIGHT POSITION", "position"), 1);
    writeSimVar(model, *findSimVar("RUDDER POSITION"), 7.0);
    EXPECT_EQ(simVar(model, "RUDDER POSITION", "percent"), 100);
}

TEST(StandinUplink, NamesAreReadWithinTheBlock) {
    Bytes block(132, 'A');
    block[4] = 2;
    const UplinkCommand command = decodeUplink(block.data(), block.size());
    EXPECT_FALSE(command.terminated);
    EXPECT_EQ(command.name.size(), 127u);
    EXPECT_TRUE(decodeUplink(block.data(), 3).name.empty());
}

// A request that comes in pieces (the lengths it refuses: process_test).
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
