// A detented rotary encoder (two contacts to ground), sampled from a timer interrupt so
// that a quick turn is counted while the sketch's loop is busy writing to the line.
#pragma once

#include <stdint.h>

#include "quadrature_decoder.h"

namespace rackkit {

class QuadratureKnob {
public:
    // Both contacts must be on one port, so that one read sees them together.
    void begin(uint8_t pinA, uint8_t pinB, uint8_t detentsPerCycle = 1);
    // Called from the sampling interrupt only.
    void sample();
    // Detents turned since the last call, positive clockwise. The service ignores 50 or
    // more in one frame, so at most 49 either way are given and the rest waits for the
    // next frame.
    int32_t take();

    static constexpr int16_t maxPerFrame = 49;

private:
    volatile uint8_t* input_ = nullptr;
    uint8_t maskA_ = 0;
    uint8_t maskB_ = 0;
    QuadratureDecoder decoder_;
    volatile int16_t detents_ = 0;
};

// Samples every knob 2000 times a second on Timer2 (which the Arduino core leaves to
// analogWrite on two pins that the racks do not use). `knobs` must outlive the sketch.
void startSampling(QuadratureKnob* knobs, uint8_t count);

}  // namespace rackkit
