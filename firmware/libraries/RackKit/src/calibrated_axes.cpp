#include "calibrated_axes.h"

#include <Arduino.h>
#include <avr/eeprom.h>
#include <stddef.h>

#include "analog_inputs.h"

namespace rackkit {

namespace {

// The EEPROM's first bytes: a mark, the number of axes, their calibrations, a check byte.
constexpr uint16_t storedMark = 0x4B52;  // "RK"
// While calibrating the axes are read this often: four conversions each take half a
// millisecond, too long for every millisecond.
constexpr uint16_t samplePeriodMs = 5;

struct Stored {
    uint16_t mark;
    uint8_t count;
    AxisCalibration axes[CalibrationRun::maxAxes];
    uint8_t check;
};

uint8_t checkOf(const Stored& stored) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&stored);
    uint8_t check = 0xA5;
    for (uint8_t i = 0; i < offsetof(Stored, check); ++i) check = static_cast<uint8_t>((check << 1 | check >> 7) ^ bytes[i]);
    return check;
}

}  // namespace

CalibratedAxes::CalibratedAxes(const AxisInput* inputs, uint8_t count)
    : inputs_(inputs), count_(count > CalibrationRun::maxAxes ? CalibrationRun::maxAxes : count), run_(count_) {}

void CalibratedAxes::begin(bool calibrate) {
    Stored stored;
    eeprom_read_block(&stored, nullptr, sizeof stored);
    const bool valid = stored.mark == storedMark && stored.count == count_ && stored.check == checkOf(stored);
    for (uint8_t i = 0; i < count_; ++i) calibrations_[i] = valid ? stored.axes[i] : inputs_[i].defaults;
    calibrating_ = calibrate;
}

void CalibratedAxes::poll(bool buttonClosed, uint16_t nowMs, Print& out) {
    if (!calibrating_ || static_cast<uint16_t>(nowMs - sampledMs_) < samplePeriodMs) return;
    sampledMs_ = nowMs;
    if (!announced_) {
        announced_ = true;
        out.print(F("calibrating: let the button go, move every axis to both stops, let them rest, press the button\r\n"));
    }
    int16_t readings[CalibrationRun::maxAxes];
    for (uint8_t i = 0; i < count_; ++i) readings[i] = readChannel(inputs_[i].channel);
    run_.update(buttonClosed, readings, nowMs);
    if (run_.step() == CalibrationRun::Step::done) finish(out);
}

int32_t CalibratedAxes::centred(uint8_t axis, int32_t fullScale) const {
    return centredAxis(calibrations_[axis], readChannel(inputs_[axis].channel), fullScale);
}

int32_t CalibratedAxes::resting(uint8_t axis, int32_t fullScale) const {
    return restingAxis(calibrations_[axis], readChannel(inputs_[axis].channel), fullScale);
}

void CalibratedAxes::finish(Print& out) {
    calibrating_ = false;
    Stored stored = {};
    stored.mark = storedMark;
    stored.count = count_;
    for (uint8_t i = 0; i < count_; ++i) {
        if (!run_.result(i, calibrations_[i])) {
            out.print(F("calibration kept for "));
            out.print(reinterpret_cast<const __FlashStringHelper*>(inputs_[i].name));
            out.print(F(": it did not move\r\n"));
        }
        stored.axes[i] = calibrations_[i];
    }
    stored.check = checkOf(stored);
    eeprom_update_block(&stored, nullptr, sizeof stored);
    report(out);
}

void CalibratedAxes::report(Print& out) const {
    for (uint8_t i = 0; i < count_; ++i) {
        const AxisCalibration& c = calibrations_[i];
        out.print(F("calibration "));
        out.print(reinterpret_cast<const __FlashStringHelper*>(inputs_[i].name));
        out.print(F(" min="));
        out.print(c.min);
        out.print(F(" centre="));
        out.print(c.centre);
        out.print(F(" max="));
        out.print(c.max);
        out.print(F(" dead="));
        out.print(c.deadBand);
        out.print(F("\r\n"));
    }
}

}  // namespace rackkit
