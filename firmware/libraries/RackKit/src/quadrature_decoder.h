// Decodes a detented rotary encoder's two contacts into detents. Plain logic, so that the
// host's tests run it as the boards do.
#pragma once

#include <stdint.h>

namespace rackkit {

class QuadratureDecoder {
public:
    // An encoder with one full quadrature cycle per detent rests with both contacts open;
    // one with two detents per cycle rests both open and both closed.
    explicit QuadratureDecoder(uint8_t detentsPerCycle = 1);
    // The contacts' state as it is at the start: bit 1 contact A, bit 0 contact B, 1 open.
    void begin(uint8_t state) { state_ = state; }
    // Takes the contacts' state now; the detent completed by it: 1 clockwise (A leads),
    // -1 the other way, else 0. A detent counts when the knob comes to rest, so a contact
    // that bounces halfway through a step counts nothing.
    int8_t take(uint8_t state);

private:
    bool atRest(uint8_t state) const;

    uint8_t state_ = 3;
    int8_t steps_ = 0;
    uint8_t detentsPerCycle_;
};

}  // namespace rackkit
