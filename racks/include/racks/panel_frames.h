// Where the service reads and writes the fields of the panels' binary frames: 32-bit
// little-endian numbers at these byte offsets after the '{' at 0. The rack handlers and
// the monitor's reading of the frames both take them from here.
#pragma once

#include <cstddef>

namespace panel_frames {

// The FCU panel's 82-byte frame.
namespace fcu_in {
constexpr std::size_t speedKnob = 1;
constexpr std::size_t headingKnob = 5;
constexpr std::size_t altitudeKnob = 9;
constexpr std::size_t vsKnob = 13;
constexpr std::size_t speedOn = 17;
constexpr std::size_t headingOn = 21;
constexpr std::size_t altHoldOn = 25;
constexpr std::size_t vsHold = 29;
constexpr std::size_t loc = 33;
constexpr std::size_t autopilotMaster = 37;
constexpr std::size_t athr = 41;
constexpr std::size_t appr = 45;
constexpr std::size_t exped = 49;
constexpr std::size_t altIncrement100 = 53;
constexpr std::size_t altIncrement1000 = 57;
constexpr std::size_t vsPush = 61;
constexpr std::size_t speedOff = 65;
constexpr std::size_t headingOff = 69;
constexpr std::size_t altHoldOff = 73;
constexpr std::size_t vsPull = 77;
}  // namespace fcu_in

// The 50-byte frame written to the FCU panel.
namespace fcu_out {
constexpr std::size_t trackFpaMode = 1;
constexpr std::size_t speed = 5;
constexpr std::size_t speedManagedDot = 9;
constexpr std::size_t heading = 13;
constexpr std::size_t headingManagedDot = 17;
constexpr std::size_t altitude = 21;
constexpr std::size_t altitudeManaged = 25;
constexpr std::size_t verticalSpeed = 29;
constexpr std::size_t flightPathAngle = 33;
constexpr std::size_t vsManaged = 37;
constexpr std::size_t modeLights = 41;
constexpr std::size_t showHeading = 45;
}  // namespace fcu_out

// The EFIS panel's 30-byte frame.
namespace efis_in {
constexpr std::size_t baroKnob = 1;
constexpr std::size_t baroMode = 5;
constexpr std::size_t flightDirector = 9;
constexpr std::size_t ls = 13;
constexpr std::size_t ndRange = 17;
constexpr std::size_t ndMode = 21;
constexpr std::size_t option = 25;
}  // namespace efis_in

// The 22-byte frame written to the EFIS panel.
namespace efis_out {
constexpr std::size_t baro = 1;
constexpr std::size_t option = 5;
constexpr std::size_t flightDirector = 9;
constexpr std::size_t ls = 13;
constexpr std::size_t baroMode = 17;
}  // namespace efis_out

}  // namespace panel_frames
