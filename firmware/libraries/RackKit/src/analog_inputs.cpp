#include "analog_inputs.h"

#include <Arduino.h>

namespace rackkit {

int16_t readChannel(uint8_t channel) {
    int16_t sum = 0;
    for (uint8_t i = 0; i < 4; ++i) sum += analogRead(channel);
    return sum / 4;
}

int32_t axisValue(int16_t reading, int32_t fullScale) {
    return (2 * static_cast<int32_t>(reading) - adcFullScale) * fullScale / adcFullScale;
}

uint8_t ladderPosition(int16_t reading, uint8_t positions) {
    const int32_t steps = positions - 1;
    return static_cast<uint8_t>((reading * steps + adcFullScale / 2) / adcFullScale);
}

}  // namespace rackkit
