#include "quadrature_knob.h"

#include <Arduino.h>
#include <util/atomic.h>

namespace rackkit {

namespace {

// Quarter steps by (previous state << 2 | new state); 0 for no change or an impossible jump.
const int8_t stepTable[16] = {0, -1, 1, 0, 1, 0, 0, -1, -1, 0, 0, 1, 0, 1, -1, 0};

QuadratureKnob* sampled = nullptr;
uint8_t sampledCount = 0;

}  // namespace

void QuadratureKnob::begin(uint8_t pinA, uint8_t pinB) {
    pinMode(pinA, INPUT_PULLUP);
    pinMode(pinB, INPUT_PULLUP);
    input_ = portInputRegister(digitalPinToPort(pinA));
    maskA_ = digitalPinToBitMask(pinA);
    maskB_ = digitalPinToBitMask(pinB);
    // Both contacts of one knob are wired to the same port, so one read sees them together.
    state_ = ((*input_ & maskA_) ? 2 : 0) | ((*input_ & maskB_) ? 1 : 0);
}

void QuadratureKnob::sample() {
    const uint8_t pins = *input_;
    const uint8_t state = ((pins & maskA_) ? 2 : 0) | ((pins & maskB_) ? 1 : 0);
    steps_ += stepTable[(state_ << 2) | state];
    state_ = state;
    // A detent is counted when the knob comes to rest, so a contact that bounces halfway
    // through a step counts nothing.
    if (state == 3) {
        if (steps_ >= 3) ++detents_;
        if (steps_ <= -3) --detents_;
        steps_ = 0;
    }
}

int32_t QuadratureKnob::take() {
    int16_t count = 0;
    ATOMIC_BLOCK(ATOMIC_RESTORESTATE) {
        count = detents_;
        if (count > maxPerFrame) count = maxPerFrame;
        if (count < -maxPerFrame) count = -maxPerFrame;
        detents_ -= count;
    }
    return count;
}

void startSampling(QuadratureKnob* knobs, uint8_t count) {
    sampled = knobs;
    sampledCount = count;
    // CTC mode, clock / 64, compare at 125: 2 kHz.
    TCCR2A = _BV(WGM21);
    TCCR2B = _BV(CS22);
    OCR2A = 124;
    TIMSK2 = _BV(OCIE2A);
}

}  // namespace rackkit

ISR(TIMER2_COMPA_vect) {
    for (uint8_t i = 0; i < rackkit::sampledCount; ++i) rackkit::sampled[i].sample();
}
