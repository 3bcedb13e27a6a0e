#include "analog_inputs.h"

#include <Arduino.h>

namespace rackkit {

int16_t readChannel(uint8_t channel) {
    int16_t sum = 0;
    for (uint8_t i = 0; i < 4; ++i) sum += analogRead(channel);
    return sum / 4;
}

int16_t readLadder(uint8_t channel) {
    return analogRead(channel);
}

}  // namespace rackkit
