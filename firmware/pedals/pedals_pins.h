// Pedals rack on an Arduino Uno or Nano (ATmega328P): the pin map.
//
// Three potentiometers, ends on GND and 5 V, wipers on the analog pins; and a push button
// from D2 to GND that, held while the board powers up, starts the axes' calibration.
#pragma once

#include <stdint.h>

namespace pedals {

// ADC channels (pins A0 to A2). Rudder: 0 V full left, 5 V full right. Toe brakes: 0 V
// released, 5 V fully pressed.
constexpr uint8_t rudderChannel = 0;
constexpr uint8_t leftBrakeChannel = 1;
constexpr uint8_t rightBrakeChannel = 2;

constexpr uint8_t calibrationButton = 2;

}  // namespace pedals
