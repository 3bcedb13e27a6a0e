// Pedals rack: the rudder and the two toe brakes, sent to the service as one JSON message
// every 100 ms ("pedals_rack" in rack_config.json). The axes go through their calibration
// (see RackKit's calibrated_axes.h: hold the button on D2 at power-up).
#include <RackKit.h>

#include "pedals_pins.h"

namespace {

using namespace rackkit;

// The simulator's "position 16K" rudder, and its brake axis from -16384 (released).
constexpr int32_t axisFullScale = 16384;
constexpr AxisCalibration wholeTravel = {0, 512, adcFullScale, 0};
// A toe brake rests at 0 V until calibrated.
constexpr AxisCalibration restAtZero = {0, 0, adcFullScale, 0};
const char rudderName[] PROGMEM = "rudder_position";
const char leftBrakeName[] PROGMEM = "left_brake";
const char rightBrakeName[] PROGMEM = "right_brake";
const AxisInput axisInputs[] = {
    {rudderName, pedals::rudderChannel, wholeTravel},
    {leftBrakeName, pedals::leftBrakeChannel, restAtZero},
    {rightBrakeName, pedals::rightBrakeChannel, restAtZero},
};
CalibratedAxes axes(axisInputs, 3);
PanelSwitch calibration;
MessagePace pace;

void sendMessage() {
    const bool live = !axes.calibrating();
    const int32_t left = axes.resting(1, axisFullScale);
    const int32_t right = axes.resting(2, axisFullScale);
    JsonMessage message(Serial);
    message.member(F("rudder_position"), live ? axes.centred(0, axisFullScale) : 0);
    // The service sets both wheel brakes to one value: the harder-pressed pedal's.
    message.member(F("brake_position"), live ? (left > right ? left : right) : -axisFullScale);
    message.end();
}

}  // namespace

void setup() {
    Serial.begin(lineBaud);
    calibration.begin(pedals::calibrationButton);
    delay(20);  // the pull-up charges the wiring
    axes.begin(digitalRead(pedals::calibrationButton) == LOW);
}

void loop() {
    uint16_t now = 0;
    if (!newMillisecond(now)) return;
    calibration.poll(now);
    axes.poll(calibration.closed(), now, Serial);
    const bool first = !pace.started();
    if (pace.due(now)) {
        // The calibration in use, unless the mode is setting a new one (it reports that).
        if (first && !axes.calibrating()) axes.report(Serial);
        sendMessage();
    }
    idleUntilInterrupt();
}
