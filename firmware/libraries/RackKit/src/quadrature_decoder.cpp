#include "quadrature_decoder.h"

namespace rackkit {

namespace {

// Quarter steps by (previous state << 2 | new state); 0 for no change or an impossible jump
// (both contacts changed at once: a step missed, direction unknown).
const int8_t stepTable[16] = {0, -1, 1, 0, 1, 0, 0, -1, -1, 0, 0, 1, 0, 1, -1, 0};

}  // namespace

QuadratureDecoder::QuadratureDecoder(uint8_t detentsPerCycle)
    : detentsPerCycle_(detentsPerCycle == 2 ? 2 : 1) {}

bool QuadratureDecoder::atRest(uint8_t state) const {
    return state == 3 || (detentsPerCycle_ == 2 && state == 0);
}

int8_t QuadratureDecoder::take(uint8_t state) {
    steps_ += stepTable[(state_ << 2) | state];
    state_ = state;
    if (!atRest(state)) return 0;
    // From one rest to the next is four quarter steps (two with two detents a cycle); a
    // bounce back and forth on the way adds nothing.
    const int8_t needed = static_cast<int8_t>(4 / detentsPerCycle_ - 1);
    int8_t detent = 0;
    if (steps_ >= needed) detent = 1;
    if (steps_ <= -needed) detent = -1;
    steps_ = 0;
    return detent;
}

}  // namespace rackkit
