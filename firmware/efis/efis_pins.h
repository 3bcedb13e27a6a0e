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

// The baro knob: an encoder with one quadrature cycle per detent, both contacts on port D.
constexpr uint8_t baroKnobA = 2;
constexpr uint8_t baroKnobB = 3;
// The baro mode: a QFE/QNH toggle (closed: QNH) and the knob's pull contact (closed: STD).
constexpr uint8_t qnhSwitch = 4;
constexpr uint8_t stdSwitch = 5;
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
// ARC, PLAN), each a rotary switch picking a tap of a chain of equal resistors from GND
// to 5 V; and the five option buttons, each pulling the pin to a tap of a chain whose top
// is held at 5 V by a resistor, so that no button reads 5 V.
constexpr uint8_t rangeChannel = 0;
constexpr uint8_t rangePositions = 6;
constexpr uint8_t modeChannel = 1;
constexpr uint8_t modePositions = 5;
constexpr uint8_t optionChannel = 2;
// Button k (the aircraft's option k, 1 to 5) reads position k - 1; none pressed reads 5.
constexpr uint8_t optionPositions = 6;
constexpr uint8_t optionCount = 5;

// Option lamps by the aircraft's option number 1 to 5 (CSTR, VOR.D, WPT, NDB, ARPT):
// segments A to E of digit line 4.
constexpr rackkit::SegmentLamp optionLamps[optionCount] = {
    {0, 4, 6}, {0, 4, 5}, {0, 4, 4}, {0, 4, 3}, {0, 4, 2}};

}  // namespace efis
