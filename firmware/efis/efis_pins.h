// EFIS control panel rack on an Arduino Uno or Nano (ATmega328P): the pin map.
//
// Switches, buttons and the baro knob's two contacts go from their pins to GND (the sketch
// turns the pull-ups on). The lamps are LEDs from their pins to GND through a resistor
// each. The baro window is four digits on one MAX7219, which also drives the five option
// lamps as the segments of a fifth digit line.
#pragma once

#include <stdint.h>

#include "rack_wiring.h"

namespace efis {

// The baro knob: an encoder, both contacts on port D. Set 2 for an encoder with two
// detents per quadrature cycle (it rests with both contacts open and with both closed).
constexpr uint8_t baroKnobA = 2;
constexpr uint8_t baroKnobB = 3;
constexpr uint8_t knobDetentsPerCycle = 1;
// The baro mode: a QFE/QNH toggle (closed: QNH), and STD on a momentary push (the knob's
// push contact): each push goes into STD or out of it.
constexpr uint8_t qnhSwitch = 4;
constexpr uint8_t stdButton = 5;
constexpr uint8_t fdButton = 6;
constexpr uint8_t lsButton = 7;

constexpr rackkit::DisplayChain display = {8, 9, 10, 1};  // DIN, CLK, LOAD, one driver
constexpr rackkit::DisplayWindow baroWindow = {0, 0, 4};

constexpr uint8_t fdLamp = 11;
constexpr uint8_t lsLamp = 12;
constexpr uint8_t qnhLamp = 13;
constexpr uint8_t qfeLamp = 17;  // A3

// Resistor ladders on ADC channels (pins A0 to A2): the navigation display's range
// selector (10 to 320 NM, six positions) and mode selector (ROSE ILS, ROSE VOR, ROSE NAV,
// ARC, PLAN), each a rotary switch whose common goes to the pin and whose positions pick
// the taps of a chain of equal resistors from GND to 5 V (the ends included): position p
// of n reads p / (n - 1) of 5 V.
constexpr uint8_t rangeChannel = 0;
constexpr uint8_t rangePositions = 6;
constexpr uint8_t modeChannel = 1;
constexpr uint8_t modePositions = 5;
// The five option buttons: five equal resistors from GND to 5 V make the taps 0, 1, 2, 3
// and 4 V; button k joins the pin to the tap of (k - 1) V, and a 100 kOhm resistor from the
// pin to 5 V reads 5 V while none is pressed. So button k reads position k - 1 of six, and
// position 5 is no button.
constexpr uint8_t optionChannel = 2;
constexpr uint8_t optionPositions = 6;
constexpr uint8_t optionCount = 5;

// Option lamps by the aircraft's option number 1 to 5 (CSTR, VOR.D, WPT, NDB, ARPT):
// segments A to E of digit line 4.
constexpr rackkit::SegmentLamp optionLamps[optionCount] = {
    {0, 4, 6}, {0, 4, 5}, {0, 4, 4}, {0, 4, 3}, {0, 4, 2}};

}  // namespace efis
