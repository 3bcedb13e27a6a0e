// Analog inputs read against the supply: potentiometers for the axes, and resistor ladders
// that put a rotary selector's positions or a row of buttons on one analog pin.
#pragma once

#include <stdint.h>

namespace rackkit {

constexpr int16_t adcFullScale = 1023;

// The mean of four conversions of `channel`, which smooths a potentiometer's wiper noise.
int16_t readChannel(uint8_t channel);
// Maps 0..1023 linearly onto -`fullScale`..`fullScale`, about the middle of the range, so
// that a centred potentiometer reading 511 or 512 gives 0.
int32_t axisValue(int16_t reading, int32_t fullScale);
// A ladder divides the supply into equal steps: position p of n reads p / (n - 1) of it.
uint8_t ladderPosition(int16_t reading, uint8_t positions);

}  // namespace rackkit
