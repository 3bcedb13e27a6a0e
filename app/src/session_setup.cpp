// What the service declares to the simulator once the connection is open: the data
// definitions the racks write and the dispatch callback reads, the two periodic data
// requests, the "SimStart" subscription and the client events the racks send.
#include <array>

#include "app/sim_ids.h"
#include "app/sim_session.h"

namespace {

struct Datum {
    SIMCONNECT_DATA_DEFINITION_ID defineId;
    const char* name;
    const char* units;
};

using namespace rackdata;
using namespace rackevent;

// The stick and rudder definitions are written by the text racks; the EFIS and autopilot
// ones are requested, and the callback keeps what the panel racks need.
constexpr std::array<Datum, 4> kWrittenDatums = {{
    {kStickDefinition, "AILERON POSITION", "percent"},
    {kStickDefinition, "ELEVATOR POSITION", "percent"},
    {kStickDefinition, "SMART CAMERA ACTIVE", "Bool"},
    {kRudderDefinition, "RUDDER POSITION", "position 16K"},
}};
constexpr std::array<Datum, 2> kEfisDatums = {{
    {kEfisDefinition, "KOHLSMAN SETTING MB:1", "Millibars"},
    {kEfisDefinition, "AUTOPILOT FLIGHT DIRECTOR ACTIVE", "Bool"},
}};
constexpr std::array<Datum, 3> kAutopilotDatums = {{
    {kAutopilotDefinition, "AUTOPILOT AIRSPEED HOLD VAR", "knots"},
    {kAutopilotDefinition, "AUTOPILOT HEADING LOCK DIR", "degrees"},
    {kAutopilotDefinition, "AUTOPILOT ALTITUDE LOCK VAR:3", "feet"},
}};

struct ClientEvent {
    SIMCONNECT_CLIENT_EVENT_ID id;
    const char* name;
};

// Mapped in this order, which is not the ids' order everywhere (the spoilers' decrease
// before their increase, the left brake before the right, AP_VS_HOLD before AP_VS_ON).
constexpr std::array<ClientEvent, 30> kClientEvents = {{
    {apMaster, "AP_MASTER"},
    {rudderTrimLeft, "RUDDER_TRIM_LEFT"},
    {rudderTrimRight, "RUDDER_TRIM_RIGHT"},
    {spoilersDec, "SPOILERS_DEC"},
    {spoilersInc, "SPOILERS_INC"},
    {axisLeftBrakeSet, "AXIS_LEFT_BRAKE_SET"},
    {axisRightBrakeSet, "AXIS_RIGHT_BRAKE_SET"},
    {kohlsmanInc, "KOHLSMAN_INC"},
    {kohlsmanDec, "KOHLSMAN_DEC"},
    {toggleFlightDirector, "TOGGLE_FLIGHT_DIRECTOR"},
    {apSpdVarInc, "AP_SPD_VAR_INC"},
    {apSpdVarDec, "AP_SPD_VAR_DEC"},
    {apAirspeedOn, "AP_AIRSPEED_ON"},
    {apAirspeedOff, "AP_AIRSPEED_OFF"},
    {apHdgHoldOn, "AP_HDG_HOLD_ON"},
    {apHdgHoldOff, "AP_HDG_HOLD_OFF"},
    {headingBugInc, "HEADING_BUG_INC"},
    {headingBugDec, "HEADING_BUG_DEC"},
    {apLocHold, "AP_LOC_HOLD"},
    {autoThrottleArm, "AUTO_THROTTLE_ARM"},
    {apAltHoldOn, "AP_ALT_HOLD_ON"},
    {apAltHoldOff, "AP_ALT_HOLD_OFF"},
    {apAltVarInc, "AP_ALT_VAR_INC"},
    {apAltVarDec, "AP_ALT_VAR_DEC"},
    {apVsHold, "AP_VS_HOLD"},
    {apVsOn, "AP_VS_ON"},
    {apVsOff, "AP_VS_OFF"},
    {apVsVarInc, "AP_VS_VAR_INC"},
    {apVsVarDec, "AP_VS_VAR_DEC"},
    {apAprHold, "AP_APR_HOLD"},
}};

template <std::size_t N>
void addDatums(SimSession& session, const std::array<Datum, N>& datums) {
    for (const Datum& datum : datums)
        session.lastResult = session.noteRequest(
            SimConnect_AddToDataDefinition(session.hSimConnect, datum.defineId, datum.name,
                                           datum.units, SIMCONNECT_DATATYPE_FLOAT64, 0.0f,
                                           SIMCONNECT_UNUSED),
            "SimConnect_AddToDataDefinition");
}

// Once a second at most, and only when a value of the definition changed.
void requestData(SimSession& session, SIMCONNECT_DATA_REQUEST_ID requestId,
                 SIMCONNECT_DATA_DEFINITION_ID defineId) {
    session.lastResult = session.noteRequest(
        SimConnect_RequestDataOnSimObject(session.hSimConnect, requestId, defineId,
                                          SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_SECOND,
                                          SIMCONNECT_DATA_REQUEST_FLAG_CHANGED, 0, 0, 0),
        "SimConnect_RequestDataOnSimObject");
}

}  // namespace

void SimSession::registerDataDefinitions() {
    addDatums(*this, kWrittenDatums);
    addDatums(*this, kEfisDatums);
    requestData(*this, kEfisRequest, kEfisDefinition);
    addDatums(*this, kAutopilotDatums);
    requestData(*this, kAutopilotRequest, kAutopilotDefinition);
}

void SimSession::registerClientEvents() {
    lastResult = noteRequest(SimConnect_SubscribeToSystemEvent(hSimConnect, simStart, "SimStart"),
                             "SimConnect_SubscribeToSystemEvent");
    for (const ClientEvent& event : kClientEvents)
        lastResult = noteRequest(SimConnect_MapClientEventToSimEvent(hSimConnect, event.id, event.name),
                                 "SimConnect_MapClientEventToSimEvent");
}

const char* rackevent::eventName(SIMCONNECT_CLIENT_EVENT_ID id) {
    for (const ClientEvent& event : kClientEvents)
        if (event.id == id) return event.name;
    return id == simStart ? "SimStart" : "";
}
