// MAX7219 drivers in a daisy chain on three pins, driving seven-segment digits and lamps
// without the chip's own digit decoding, so that dashes, blanks and single segments can be
// shown. Only what changed is written, so a steady display costs the loop nothing.
#pragma once

#include <stdint.h>

#include "rack_wiring.h"

namespace rackkit {

// Segment bits without decoding.
constexpr uint8_t segmentDp = 0x80;

// The segments of a character: digits, '-' and ' '; anything else shows as blank.
uint8_t glyph(char c);

class Max7219Chain {
public:
    static constexpr uint8_t maxChips = 4;

    explicit Max7219Chain(const DisplayChain& wiring) : wiring_(wiring) {}
    void begin();
    // `text` right-aligned in the window; a '.' lights the point of the character before
    // it. Characters beyond the window's width are cut from the left.
    void show(const DisplayWindow& window, const char* text);
    void setLamp(const SegmentLamp& lamp, bool lit);

private:
    void setDigit(uint8_t chip, uint8_t digit, uint8_t segments);
    void write(uint8_t chip, uint8_t reg, uint8_t data);
    void writeAll(uint8_t reg, uint8_t data);
    void shift(uint8_t byte);

    DisplayChain wiring_;
    uint8_t shown_[maxChips][8] = {};
};

}  // namespace rackkit
