// Analog inputs read against the supply: potentiometers for the axes, and resistor ladders
// that put a rotary selector's positions or a row of buttons on one analog pin.
#pragma once

#include <stdint.h>

#include "analog_scale.h"

namespace rackkit {

// The mean of four conversions of `channel`, which smooths a potentiometer's wiper noise.
int16_t readChannel(uint8_t channel);
// One conversion: a ladder's taps lie far enough apart for that.
int16_t readLadder(uint8_t channel);

}  // namespace rackkit
