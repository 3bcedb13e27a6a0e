// What the analog readings (0..1023 against the supply) mean: a rotary selector's or a
// button row's position on a resistor ladder, and an axis's value through its calibration.
// Plain logic, for the host's tests too.
#pragma once

#include <stdint.h>

namespace rackkit {

constexpr int16_t adcFullScale = 1023;
// A reading that is no ladder position: between two taps.
constexpr uint8_t noPosition = 0xFF;

// A ladder divides the supply into equal steps: position p of n reads p / (n - 1) of it. A
// reading more than a quarter step away from every tap is noPosition.
uint8_t ladderPosition(int16_t reading, uint8_t positions);

// Where an axis's potentiometer reads at its stops and at rest, and how far from rest
// it may wander unnoticed (its noise, and a little play).
struct AxisCalibration {
    int16_t min;
    int16_t centre;  // rest: the middle of a stick or rudder, the released toe brake
    int16_t max;
    int16_t deadBand;
};

// A stick or rudder axis: 0 within the dead band about the centre, -fullScale at min and
// fullScale at max, reached the dead band before the stop so that noise cannot hold the
// axis short of full travel.
int32_t centredAxis(const AxisCalibration& calibration, int16_t reading, int32_t fullScale);
// An axis that rests at one end (a toe brake): -fullScale at rest and within the dead band
// of it, fullScale at the stop farther from rest.
int32_t restingAxis(const AxisCalibration& calibration, int16_t reading, int32_t fullScale);

// One axis calibrated by hand: swept to both stops, then left at rest for a while.
class AxisCalibrator {
public:
    // An axis that moved less than this keeps its old calibration.
    static constexpr int16_t minTravel = 40;

    void startSweep(int16_t reading);
    void sweep(int16_t reading);
    void startRest(int16_t reading);
    void rest(int16_t reading);
    // The calibration found; false when the axis barely moved.
    bool result(AxisCalibration& calibration) const;

private:
    int16_t low_ = 0;
    int16_t high_ = 0;
    int16_t restLow_ = 0;
    int16_t restHigh_ = 0;
    int32_t restSum_ = 0;
    uint16_t restCount_ = 0;
};

// The calibration mode's steps, for up to maxAxes axes and the one button that drives it:
// let the button go, sweep every axis to both stops, press the button, and leave the axes
// at rest for restMs.
class CalibrationRun {
public:
    static constexpr uint8_t maxAxes = 3;
    static constexpr uint16_t restMs = 500;
    enum class Step : uint8_t { releaseButton, sweep, rest, done };

    explicit CalibrationRun(uint8_t axes) : axes_(axes > maxAxes ? maxAxes : axes) {}
    // Once a millisecond: the button's debounced level and every axis's reading.
    void update(bool buttonClosed, const int16_t* readings, uint16_t nowMs);
    Step step() const { return step_; }
    // After done: axis i's calibration, or false to keep the old one.
    bool result(uint8_t axis, AxisCalibration& calibration) const {
        return axis < axes_ && calibrators_[axis].result(calibration);
    }

private:
    AxisCalibrator calibrators_[maxAxes];
    uint8_t axes_;
    Step step_ = Step::releaseButton;
    bool heldSeen_ = false;
    uint16_t restSince_ = 0;
};

}  // namespace rackkit
