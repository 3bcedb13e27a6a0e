// Joystick rack: the side stick's two axes and its switches, sent to the service as one
// JSON message every 100 ms ("joystick_rack" in rack_config.json). The axes go through
// their calibration (see RackKit's calibrated_axes.h: hold the camera button at power-up).
#include <RackKit.h>

#include "joystick_pins.h"

namespace {

using namespace rackkit;

// The simulator's axes are in percent, -100 to 100, sent in tenths.
constexpr int32_t axisTenths = 1000;
constexpr AxisCalibration wholeTravel = {0, 512, adcFullScale, 0};
const char aileronName[] PROGMEM = "aileron_position";
const char elevatorName[] PROGMEM = "elevator_position";
const AxisInput axisInputs[] = {
    {aileronName, joystick::aileronChannel, wholeTravel},
    {elevatorName, joystick::elevatorChannel, wholeTravel},
};
CalibratedAxes axes(axisInputs, 2);

PanelSwitch camera;
PanelSwitch trimRight;
PanelSwitch trimLeft;
PanelSwitch spoilerExtend;
PanelSwitch spoilerRetract;
PanelSwitch autopilot;
PanelSwitch* const switches[] = {&camera, &trimRight, &trimLeft, &spoilerExtend, &spoilerRetract,
                                 &autopilot};
MessagePace pace;

void sendMessage() {
    // While the axes are calibrated they read centred, and the camera button drives the
    // calibration rather than the camera.
    const bool live = !axes.calibrating();
    JsonMessage message(Serial);
    message.memberTenths(F("aileron_position"), live ? axes.centred(0, axisTenths) : 0);
    message.memberTenths(F("elevator_position"), live ? axes.centred(1, axisTenths) : 0);
    const uint8_t cameraPressed = camera.take();
    message.member(F("camera_point_of_interest"), live ? cameraPressed : 0);
    message.member(F("rudder_trim_plus_pct"), trimRight.take());
    message.member(F("rudder_trim_minus_pct"), trimLeft.take());
    message.member(F("spoiler_handle_plus_position"), spoilerExtend.take());
    message.member(F("spoiler_handle_minus_position"), spoilerRetract.take());
    message.member(F("autopilot_master"), autopilot.take());
    message.end();
}

}  // namespace

void setup() {
    Serial.begin(lineBaud);
    camera.begin(joystick::cameraButton);
    trimRight.begin(joystick::trimRightSwitch);
    trimLeft.begin(joystick::trimLeftSwitch);
    spoilerExtend.begin(joystick::spoilerExtendSwitch);
    spoilerRetract.begin(joystick::spoilerRetractSwitch);
    autopilot.begin(joystick::autopilotButton);
    delay(20);  // the pull-ups charge the wiring
    axes.begin(digitalRead(joystick::calibrationButton) == LOW);
}

void loop() {
    uint16_t now = 0;
    if (!newMillisecond(now)) return;
    for (PanelSwitch* contact : switches) contact->poll(now);
    axes.poll(camera.closed(), now, Serial);
    const bool first = !pace.started();
    if (pace.due(now)) {
        // The calibration in use, unless the mode is setting a new one (it reports that).
        if (first && !axes.calibrating()) axes.report(Serial);
        sendMessage();
    }
    idleUntilInterrupt();
}
