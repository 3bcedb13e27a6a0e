// The simulator's client events and data definitions that the racks use. The session
// setup maps and declares them under these ids, and the racks send and write by them.
#pragma once

#include "simconnect/SimConnect.h"

namespace rackevent {

enum : SIMCONNECT_CLIENT_EVENT_ID {
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
    apVsHold = 27,
    apVsVarInc = 28,
    apVsVarDec = 29,
    apAprHold = 30,
};

}  // namespace rackevent

namespace rackdata {

// Aileron, elevator and smart camera, three doubles (joystick rack).
constexpr SIMCONNECT_DATA_DEFINITION_ID kStickDefinition = 2;
// Rudder position, one double (pedals rack).
constexpr SIMCONNECT_DATA_DEFINITION_ID kRudderDefinition = 3;

}  // namespace rackdata
