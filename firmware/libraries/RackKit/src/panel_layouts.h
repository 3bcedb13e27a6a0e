// Where every field sits in the panels' frames, both ways: the frame a panel sends (its
// controls) and the frame the service writes to it (the aircraft's values). A field is a
// 32-bit little-endian number at its byte offset, between the '{' at 0 and the '}' that
// ends the frame. Plain constants, so that the tools that play the panels (rack-emulator,
// board-sim) read the same table as the sketches.
#pragma once

#include <stdint.h>

namespace rackkit {

// What the EFIS panel sends.
namespace efis_controls {
constexpr uint8_t length = 30;
constexpr uint8_t baroKnob = 1;  // detents since the last frame
constexpr uint8_t baroMode = 5;  // 0 QFE, 1 QNH, 2 STD
constexpr uint8_t flightDirector = 9;
constexpr uint8_t ls = 13;
constexpr uint8_t ndRange = 17;
constexpr uint8_t ndMode = 21;
constexpr uint8_t option = 25;  // 0 none, 1 to 5
}  // namespace efis_controls

// What the service writes to the EFIS panel.
namespace efis_displays {
constexpr uint8_t length = 22;
constexpr uint8_t baro = 1;
constexpr uint8_t option = 5;
constexpr uint8_t flightDirector = 9;
constexpr uint8_t ls = 13;
constexpr uint8_t baroMode = 17;
}  // namespace efis_displays

// What the FCU panel sends: four knobs' detents, then sixteen switches, one field each.
namespace fcu_controls {
constexpr uint8_t length = 82;
constexpr uint8_t speedKnob = 1;
constexpr uint8_t headingKnob = 5;
constexpr uint8_t altitudeKnob = 9;
constexpr uint8_t vsKnob = 13;
constexpr uint8_t firstSwitch = 17;
constexpr uint8_t speedOn = 17;
constexpr uint8_t headingOn = 21;
constexpr uint8_t altHoldOn = 25;
constexpr uint8_t vsHold = 29;
constexpr uint8_t loc = 33;
constexpr uint8_t ap1 = 37;
constexpr uint8_t athr = 41;
constexpr uint8_t appr = 45;
constexpr uint8_t exped = 49;
constexpr uint8_t altIncrement100 = 53;
constexpr uint8_t altIncrement1000 = 57;
constexpr uint8_t vsPush = 61;
constexpr uint8_t speedOff = 65;
constexpr uint8_t headingOff = 69;
constexpr uint8_t altHoldOff = 73;
constexpr uint8_t vsPull = 77;
constexpr uint8_t switchCount = 16;
// Switch k of the sketch's pin list sends at firstSwitch + 4k.
constexpr uint8_t switchField(uint8_t k) { return firstSwitch + 4 * k; }
static_assert(switchField(switchCount - 1) == vsPull, "the switches fill the frame");
static_assert(vsPull + 4 == length - 1, "the last field ends where the '}' starts");
}  // namespace fcu_controls

// What the service writes to the FCU panel.
namespace fcu_displays {
constexpr uint8_t length = 50;
constexpr uint8_t trackFpaMode = 1;
constexpr uint8_t speed = 5;
constexpr uint8_t speedManagedDot = 9;
constexpr uint8_t heading = 13;
constexpr uint8_t headingManagedDot = 17;
constexpr uint8_t altitude = 21;
constexpr uint8_t altitudeManaged = 25;
constexpr uint8_t verticalSpeed = 29;
constexpr uint8_t flightPathAngle = 33;  // tenths of a degree
constexpr uint8_t vsManaged = 37;
constexpr uint8_t modeLights = 41;  // LOC, AP1, A/THR, EXPED, APPR from bit 0 up
constexpr uint8_t showHeading = 45;
static_assert(showHeading + 4 == length - 1, "the last field ends where the '}' starts");
}  // namespace fcu_displays

}  // namespace rackkit
