#include "quadrature_knob.h"

#include <Arduino.h>
#include <util/atomic.h>

namespace rackkit {

namespace {

QuadratureKnob* sampled = nullptr;
uint8_t sampledCount = 0;

}  // namespace

void QuadratureKnob::begin(uint8_t pinA, uint8_t pinB, uint8_t detentsPerCycle) {
    pinMode(pinA, INPUT_PULLUP);
    pinMode(pinB, INPUT_PULLUP);
    input_ = portInputRegister(digitalPinToPort(pinA));
    maskA_ = digitalPinToBitMask(pinA);
    maskB_ = digitalPinToBitMask(pinB);
    decoder_ = QuadratureDecoder(detentsPerCycle);
    decoder_.begin(((*input_ & maskA_) ? 2 : 0) | ((*input_ & maskB_) ? 1 : 0));
}

void QuadratureKnob::sample() {
    const uint8_t pins = *input_;
    detents_ += decoder_.take(((pins & maskA_) ? 2 : 0) | ((pins & maskB_) ? 1 : 0));
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
