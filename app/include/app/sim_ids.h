// The ids under which the service declares its client events, data definitions and data
// requests to the simulator. The session setup declares them, the dispatch callback knows
// the answers by them, and the racks send and write by them.
#pragma once

#include "simconnect/SimConnect.h"

namespace rackevent {

enum : SIMCONNECT_CLIENT_EVENT_ID {
    // The system event "SimStart", subscribed in the same id space as the client events.
    simStart = 0,
    apMaster = 1,
    rudderTrimLeft = 2,
    rudderTrimRight = 3,
    spoilersInc = 4,
    spoilersDec = 5,
    axisRightBrakeSet = 6,
    axisLeftBrakeSet = 7,
    kohlsmanInc = 8,
    kohlsmanDec = 9,
    toggleFlightDirector = 10,
    apSpdVarInc = 11,
    apSpdVarDec = 12,
    apAirspeedOn = 13,
    apAirspeedOff = 14,
    apHdgHoldOn = 15,
    apHdgHoldOff = 16,
    headingBugInc = 17,
    headingBugDec = 18,
    apLocHold = 19,
    autoThrottleArm = 20,
    apAltHoldOn = 21,
    apAltHoldOff = 22,
    apAltVarInc = 23,
    apAltVarDec = 24,
    // Mapped although no rack sends them.
    apVsOn = 25,
    apVsOff = 26,
    apVsHold = 27,
    apVsVarInc = 28,
    apVsVarDec = 29,
    apAprHold = 30,
};

// The simulator's name of the event mapped to `id` ("AP_MASTER"), empty for an unknown id.
const char* eventName(SIMCONNECT_CLIENT_EVENT_ID id);

}  // namespace rackevent

namespace rackdata {

// Aileron, elevator and smart camera, three doubles (joystick rack).
constexpr SIMCONNECT_DATA_DEFINITION_ID kStickDefinition = 2;
// Rudder position, one double (pedals rack).
constexpr SIMCONNECT_DATA_DEFINITION_ID kRudderDefinition = 3;
// The barometric setting and the flight director, read for the EFIS rack.
constexpr SIMCONNECT_DATA_DEFINITION_ID kEfisDefinition = 4;
constexpr SIMCONNECT_DATA_REQUEST_ID kEfisRequest = 4;
// The autopilot's selected speed, heading and altitude, read for the FCU rack.
constexpr SIMCONNECT_DATA_DEFINITION_ID kAutopilotDefinition = 5;
constexpr SIMCONNECT_DATA_REQUEST_ID kAutopilotRequest = 5;

}  // namespace rackdata
