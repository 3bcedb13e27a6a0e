// FCU rack (the autopilot's flight control unit) on an Arduino Mega 2560: the pin map.
//
// Knob contacts, switches and buttons go from their pins to GND (the sketch turns the
// pull-ups on). The lamps are LEDs from their pins to GND through a resistor each. The
// four windows are sixteen digits on two chained MAX7219s. Serial1 (TX1, pin 18) reports
// the line's health once a second, at 115200 baud, for a second USB-serial adapter.
#pragma once

#include <stdint.h>

#include "rack_wiring.h"

namespace fcu {

// The four knobs: encoders, all on port A (each knob's two contacts must share a port).
// Set 2 for encoders with two detents per quadrature cycle (they rest with both contacts
// open and with both closed).
constexpr uint8_t knobDetentsPerCycle = 1;
constexpr uint8_t spdKnobA = 22;
constexpr uint8_t spdKnobB = 23;
constexpr uint8_t hdgKnobA = 24;
constexpr uint8_t hdgKnobB = 25;
constexpr uint8_t altKnobA = 26;
constexpr uint8_t altKnobB = 27;
constexpr uint8_t vsKnobA = 28;
constexpr uint8_t vsKnobB = 29;

// Switches and buttons, in the order of their fields in the frame. The SPD and HDG knobs'
// pull and push contacts are momentary: the sketch holds a pull or push in its frames
// until the aircraft's managed dot changes (at most 2 s).
constexpr uint8_t spdOnSwitch = 30;
constexpr uint8_t hdgOnSwitch = 31;
constexpr uint8_t altHoldOnButton = 32;
constexpr uint8_t vsHoldButton = 33;
constexpr uint8_t locButton = 34;
constexpr uint8_t ap1Button = 35;
constexpr uint8_t athrButton = 36;
constexpr uint8_t apprButton = 37;
constexpr uint8_t expedButton = 42;
constexpr uint8_t altInc100Switch = 43;  // the altitude increment toggle's two contacts
constexpr uint8_t altInc1000Switch = 44;
constexpr uint8_t vsPushButton = 45;
constexpr uint8_t spdOffSwitch = 46;
constexpr uint8_t hdgOffSwitch = 47;
constexpr uint8_t altHoldOffButton = 48;
constexpr uint8_t vsPullButton = 49;

constexpr rackkit::DisplayChain display = {5, 6, 7, 2};  // DIN, CLK, LOAD, two drivers
constexpr rackkit::DisplayWindow spdWindow = {0, 0, 3};
constexpr rackkit::DisplayWindow altWindow = {0, 3, 5};
constexpr rackkit::DisplayWindow hdgWindow = {1, 0, 3};
constexpr rackkit::DisplayWindow vsWindow = {1, 3, 5};

constexpr uint8_t locLamp = 8;
constexpr uint8_t ap1Lamp = 9;
constexpr uint8_t athrLamp = 10;
constexpr uint8_t expedLamp = 11;
constexpr uint8_t apprLamp = 12;
constexpr uint8_t trkFpaLamp = 13;  // lit: the windows read TRK and FPA

}  // namespace fcu
