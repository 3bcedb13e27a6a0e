// What the service declares to the simulator once the connection is open: the data
// definitions the racks write and the dispatch callback reads, the two periodic data
// requests, the "SimStart" subscription and the client events the racks send.
#include <array>

#include "app/sim_session.h"

namespace {

struct Datum {
    SIMCONNECT_DATA_DEFINITION_ID defineId;
    const char* name;
    const char* units;
};

// Definition 2 is written by the joystick rack, 3 by the pedals rack; 4 and 5 are
// requested, and the callback keeps what the EFIS and autopilot racks need.
constexpr std::array<Datum, 4> kWrittenDatums = {{
    {2, "AILERON POSITION", "percent"},
    {2, "ELEVATOR POSITION", "percent"},
    {2, "SMART CAMERA ACTIVE", "Bool"},
    {3, "RUDDER POSITION", "position 16K"},
}};
constexpr std::array<Datum, 2> kEfisDatums = {{
    {4, "KOHLSMAN SETTING MB:1", "Millibars"},
    {4, "AUTOPILOT FLIGHT DIRECTOR ACTIVE", "Bool"},
}};
constexpr std::array<Datum, 3> kAutopilotDatums = {{
    {5, "AUTOPILOT AIRSPEED HOLD VAR", "knots"},
    {5, "AUTOPILOT HEADING LOCK DIR", "degrees"},
    {5, "AUTOPILOT ALTITUDE LOCK VAR:3", "feet"},
}};

struct ClientEvent {
    SIMCONNECT_CLIENT_EVENT_ID id;
    const char* name;
};

// Mapped in this order. Some ids run against the names' order (4 is the increase of the
// spoilers, 6 the right brake); 25 and 26 are mapped although no rack sends them.
constexpr std::array<ClientEvent, 30> kClientEvents = {{
    {1, "AP_MASTER"},
    {2, "RUDDER_TRIM_LEFT"},
    {3, "RUDDER_TRIM_RIGHT"},
    {5, "SPOILERS_DEC"},
    {4, "SPOILERS_INC"},
    {7, "AXIS_LEFT_BRAKE_SET"},
    {6, "AXIS_RIGHT_BRAKE_SET"},
    {8, "KOHLSMAN_INC"},
    {9, "KOHLSMAN_DEC"},
    {10, "TOGGLE_FLIGHT_DIRECTOR"},
    {11, "AP_SPD_VAR_INC"},
    {12, "AP_SPD_VAR_DEC"},
    {13, "AP_AIRSPEED_ON"},
    {14, "AP_AIRSPEED_OFF"},
    {15, "AP_HDG_HOLD_ON"},
    {16, "AP_HDG_HOLD_OFF"},
    {17, "HEADING_BUG_INC"},
    {18, "HEADING_BUG_DEC"},
    {19, "AP_LOC_HOLD"},
    {20, "AUTO_THROTTLE_ARM"},
    {21, "AP_ALT_HOLD_ON"},
    {22, "AP_ALT_HOLD_OFF"},
    {23, "AP_ALT_VAR_INC"},
    {24, "AP_ALT_VAR_DEC"},
    {27, "AP_VS_HOLD"},
    {25, "AP_VS_ON"},
    {26, "AP_VS_OFF"},
    {28, "AP_VS_VAR_INC"},
    {29, "AP_VS_VAR_DEC"},
    {30, "AP_APR_HOLD"},
}};

constexpr SIMCONNECT_CLIENT_EVENT_ID kSimStartEventId = 0;

template <std::size_t N>
void addDatums(SimSession& session, const std::array<Datum, N>& datums) {
    for (const Datum& datum : datums)
        session.lastResult = SimConnect_AddToDataDefinition(
            session.hSimConnect, datum.defineId, datum.name, datum.units,
            SIMCONNECT_DATATYPE_FLOAT64, 0.0f, SIMCONNECT_UNUSED);
}

// Once a second at most, and only when a value of the definition changed.
void requestData(SimSession& session, SIMCONNECT_DATA_REQUEST_ID requestId,
                 SIMCONNECT_DATA_DEFINITION_ID defineId) {
    session.lastResult = SimConnect_RequestDataOnSimObject(
        session.hSimConnect, requestId, defineId, SIMCONNECT_OBJECT_ID_USER,
        SIMCONNECT_PERIOD_SECOND, SIMCONNECT_DATA_REQUEST_FLAG_CHANGED, 0, 0, 0);
}

}  // namespace

void SimSession::registerDataDefinitions() {
    addDatums(*this, kWrittenDatums);
    addDatums(*this, kEfisDatums);
    requestData(*this, 4, 4);
    addDatums(*this, kAutopilotDatums);
    requestData(*this, 5, 5);
}

void SimSession::registerClientEvents() {
    lastResult = SimConnect_SubscribeToSystemEvent(hSimConnect, kSimStartEventId, "SimStart");
    for (const ClientEvent& event : kClientEvents)
        lastResult = SimConnect_MapClientEventToSimEvent(hSimConnect, event.id, event.name);
}
