#include "analog_scale.h"

namespace rackkit {

uint8_t ladderPosition(int16_t reading, uint8_t positions) {
    if (positions < 2) return 0;
    const int32_t steps = positions - 1;
    const int32_t nearest = (reading * steps + adcFullScale / 2) / adcFullScale;
    const int32_t tap = nearest * adcFullScale / steps;
    const int32_t away = reading > tap ? reading - tap : tap - reading;
    if (nearest >= positions || away * 4 > adcFullScale / steps) return noPosition;
    return static_cast<uint8_t>(nearest);
}

namespace {

int32_t clamp(int32_t value, int32_t limit) {
    if (value > limit) return limit;
    if (value < -limit) return -limit;
    return value;
}

// `travel` counts beyond the dead band, of a side `range` counts long, as a share of
// `scale`; the dead band is given up at both ends of the side.
int32_t share(int32_t travel, int32_t range, int32_t deadBand, int32_t scale) {
    const int32_t span = range - 2 * deadBand;
    if (span <= 0) return 0;
    return clamp(travel * scale / span, scale);
}

}  // namespace

int32_t centredAxis(const AxisCalibration& c, int16_t reading, int32_t fullScale) {
    const int32_t fromCentre = reading - c.centre;
    if (fromCentre > c.deadBand) return share(fromCentre - c.deadBand, c.max - c.centre, c.deadBand, fullScale);
    if (fromCentre < -c.deadBand)
        return -share(-fromCentre - c.deadBand, c.centre - c.min, c.deadBand, fullScale);
    return 0;
}

int32_t restingAxis(const AxisCalibration& c, int16_t reading, int32_t fullScale) {
    // The brake may be wired either way round: it travels toward the farther stop.
    const bool upward = c.max - c.centre >= c.centre - c.min;
    const int32_t travel = upward ? reading - c.centre : c.centre - reading;
    const int32_t range = upward ? c.max - c.centre : c.centre - c.min;
    if (travel <= c.deadBand) return -fullScale;
    return share(travel - c.deadBand, range, c.deadBand, 2 * fullScale) - fullScale;
}

void AxisCalibrator::startSweep(int16_t reading) {
    low_ = high_ = reading;
}

void AxisCalibrator::sweep(int16_t reading) {
    if (reading < low_) low_ = reading;
    if (reading > high_) high_ = reading;
}

void AxisCalibrator::startRest(int16_t reading) {
    restLow_ = restHigh_ = reading;
    restSum_ = 0;
    restCount_ = 0;
}

void AxisCalibrator::rest(int16_t reading) {
    if (reading < restLow_) restLow_ = reading;
    if (reading > restHigh_) restHigh_ = reading;
    restSum_ += reading;
    ++restCount_;
}

bool AxisCalibrator::result(AxisCalibration& calibration) const {
    if (high_ - low_ < minTravel || restCount_ == 0) return false;
    calibration.min = low_;
    calibration.max = high_;
    calibration.centre = static_cast<int16_t>(restSum_ / restCount_);
    // The noise seen at rest, a margin over it, and a hundredth of the travel for play.
    calibration.deadBand = static_cast<int16_t>(restHigh_ - restLow_ + 2 + (high_ - low_) / 100);
    return true;
}

void CalibrationRun::update(bool buttonClosed, const int16_t* readings, uint16_t nowMs) {
    switch (step_) {
        case Step::releaseButton:
            // The button is seen held first: its debouncing may not have caught up with
            // the power-up yet.
            if (buttonClosed) heldSeen_ = true;
            if (buttonClosed || !heldSeen_) return;
            for (uint8_t i = 0; i < axes_; ++i) calibrators_[i].startSweep(readings[i]);
            step_ = Step::sweep;
            return;
        case Step::sweep:
            for (uint8_t i = 0; i < axes_; ++i) calibrators_[i].sweep(readings[i]);
            if (!buttonClosed) return;
            for (uint8_t i = 0; i < axes_; ++i) calibrators_[i].startRest(readings[i]);
            restSince_ = nowMs;
            step_ = Step::rest;
            return;
        case Step::rest:
            for (uint8_t i = 0; i < axes_; ++i) calibrators_[i].rest(readings[i]);
            if (static_cast<uint16_t>(nowMs - restSince_) >= restMs) step_ = Step::done;
            return;
        case Step::done:
            return;
    }
}

}  // namespace rackkit
