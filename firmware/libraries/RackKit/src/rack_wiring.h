// Wiring descriptions shared by the sketches' pin maps. Plain data, so that tools that
// play the boards can read the same pin maps.
#pragma once

#include <stdint.h>

namespace rackkit {

// A row of seven-segment digits on a MAX7219 chain: the driver (0 is the one nearest the
// board), the digit register of the leftmost digit, and how many digits to its right.
struct DisplayWindow {
    uint8_t chip;
    uint8_t firstDigit;
    uint8_t width;
};

// A lamp wired to one segment line of a MAX7219 digit.
struct SegmentLamp {
    uint8_t chip;
    uint8_t digit;
    uint8_t segmentBit;  // 7 is DP, 6 is A ... 0 is G
};

// The MAX7219 chain's three lines.
struct DisplayChain {
    uint8_t din;
    uint8_t clk;
    uint8_t load;
    uint8_t chips;
};

// Every board runs at 16 MHz from 5 V, with the ADC referred to the supply.
constexpr uint32_t lineBaud = 115200;

}  // namespace rackkit
