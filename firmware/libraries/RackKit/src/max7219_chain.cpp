#include "max7219_chain.h"

#include <Arduino.h>

namespace rackkit {

namespace {

// The driver's registers.
constexpr uint8_t noOp = 0x00;
constexpr uint8_t digit0 = 0x01;
constexpr uint8_t decodeMode = 0x09;
constexpr uint8_t intensity = 0x0A;
constexpr uint8_t scanLimit = 0x0B;
constexpr uint8_t shutdown = 0x0C;
constexpr uint8_t displayTest = 0x0F;

// Bit 6 is segment A, going round to F at bit 1, and G at bit 0.
const uint8_t digitGlyphs[10] = {0x7E, 0x30, 0x6D, 0x79, 0x33, 0x5B, 0x5F, 0x70, 0x7F, 0x7B};

}  // namespace

uint8_t glyph(char c) {
    if (c >= '0' && c <= '9') return digitGlyphs[c - '0'];
    return c == '-' ? 0x01 : 0x00;
}

void Max7219Chain::begin() {
    pinMode(wiring_.din, OUTPUT);
    pinMode(wiring_.clk, OUTPUT);
    pinMode(wiring_.load, OUTPUT);
    digitalWrite(wiring_.load, HIGH);
    writeAll(displayTest, 0);
    writeAll(decodeMode, 0);
    writeAll(scanLimit, 7);
    writeAll(intensity, 8);
    for (uint8_t digit = 0; digit < 8; ++digit) writeAll(digit0 + digit, 0);
    writeAll(shutdown, 1);
}

void Max7219Chain::show(const DisplayWindow& window, const char* text) {
    // From the right: each character takes a digit, a '.' goes with the character before it.
    int8_t at = static_cast<int8_t>(strlen(text)) - 1;
    for (int8_t digit = window.width - 1; digit >= 0; --digit) {
        uint8_t segments = 0;
        if (at >= 0 && text[at] == '.') {
            segments = segmentDp;
            --at;
        }
        if (at >= 0) segments |= glyph(text[at--]);
        setDigit(window.chip, window.firstDigit + digit, segments);
    }
}

void Max7219Chain::setLamp(const SegmentLamp& lamp, bool lit) {
    const uint8_t bit = static_cast<uint8_t>(1u << lamp.segmentBit);
    const uint8_t now = shown_[lamp.chip][lamp.digit];
    setDigit(lamp.chip, lamp.digit, lit ? (now | bit) : (now & ~bit));
}

void Max7219Chain::setDigit(uint8_t chip, uint8_t digit, uint8_t segments) {
    if (shown_[chip][digit] == segments) return;
    shown_[chip][digit] = segments;
    write(chip, digit0 + digit, segments);
}

// One 16-bit word per driver goes down the chain, the farthest driver's first; the others
// get no-ops, and all latch together when LOAD rises.
void Max7219Chain::write(uint8_t chip, uint8_t reg, uint8_t data) {
    digitalWrite(wiring_.load, LOW);
    for (int8_t i = wiring_.chips - 1; i >= 0; --i) {
        shift(i == chip ? reg : noOp);
        shift(i == chip ? data : 0);
    }
    digitalWrite(wiring_.load, HIGH);
}

void Max7219Chain::writeAll(uint8_t reg, uint8_t data) {
    digitalWrite(wiring_.load, LOW);
    for (uint8_t i = 0; i < wiring_.chips; ++i) {
        shift(reg);
        shift(data);
    }
    digitalWrite(wiring_.load, HIGH);
}

void Max7219Chain::shift(uint8_t byte) {
    shiftOut(wiring_.din, wiring_.clk, MSBFIRST, byte);
}

}  // namespace rackkit
