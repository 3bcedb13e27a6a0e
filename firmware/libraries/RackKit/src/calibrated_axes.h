// A text rack's axes with their calibration kept in EEPROM, and the calibration mode that
// sets it without a computer: hold the calibration button while the board powers up (or
// while its reset is pressed), let it go, move every axis to both stops, leave them at
// rest and press the button once more. What the board does is reported on its line as
// plain text lines, which the service skips as it looks for a message's '{'.
#pragma once

#include <stdint.h>

#include "analog_scale.h"

class Print;

namespace rackkit {

struct AxisInput {
    const char* name;  // in flash (PROGMEM)
    uint8_t channel;
    AxisCalibration defaults;  // until the axis is calibrated
};

class CalibratedAxes {
public:
    CalibratedAxes(const AxisInput* inputs, uint8_t count);
    // Takes the calibration stored in EEPROM, or the defaults when none is; calibrating
    // when `calibrate` (the button held at power-up).
    void begin(bool calibrate);
    // Once a millisecond; while calibrating, runs the mode with the button's level.
    void poll(bool buttonClosed, uint16_t nowMs, Print& report);
    bool calibrating() const { return calibrating_; }
    // An axis read now: a stick's or rudder's about its centre, a toe brake's from rest.
    int32_t centred(uint8_t axis, int32_t fullScale) const;
    int32_t resting(uint8_t axis, int32_t fullScale) const;
    const AxisCalibration& calibration(uint8_t axis) const { return calibrations_[axis]; }
    // One line per axis: "calibration NAME min=.. centre=.. max=.. dead=..".
    void report(Print& out) const;

private:
    void finish(Print& report);

    const AxisInput* inputs_;
    uint8_t count_;
    AxisCalibration calibrations_[CalibrationRun::maxAxes];
    CalibrationRun run_;
    uint16_t sampledMs_ = 0;
    bool calibrating_ = false;
    bool announced_ = false;
};

}  // namespace rackkit
