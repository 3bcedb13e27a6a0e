// Pedals rack on an Arduino Uno or Nano (ATmega328P): the pin map.
//
// Three potentiometers, ends on GND and 5 V, wipers on the analog pins.
#pragma once

#include <stdint.h>

namespace pedals {

// ADC channels (pins A0 to A2). Rudder: 0 V full left, 5 V full right. Toe brakes: 0 V
// released, 5 V fully pressed.
constexpr uint8_t rudderChannel = 0;
constexpr uint8_t leftBrakeChannel = 1;
constexpr uint8_t rightBrakeChannel = 2;

}  // namespace pedals
