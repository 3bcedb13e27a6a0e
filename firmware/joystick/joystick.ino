// Joystick rack: the side stick's two axes and its switches, sent to the service as one
// JSON message every 100 ms ("joystick_rack" in rack_config.json).
#include <RackKit.h>

#include "joystick_pins.h"

namespace {

using namespace rackkit;

constexpr uint16_t sendPeriodMs = 100;

PanelSwitch camera;
PanelSwitch trimRight;
PanelSwitch trimLeft;
PanelSwitch spoilerExtend;
PanelSwitch spoilerRetract;
PanelSwitch autopilot;
PanelSwitch* const switches[] = {&camera, &trimRight, &trimLeft, &spoilerExtend, &spoilerRetract,
                                 &autopilot};
uint16_t lastSentMs = 0;

// The simulator's axes are in percent, -100 to 100.
int32_t axisTenths(uint8_t channel) {
    return axisValue(readChannel(channel), 1000);
}

void sendMessage() {
    JsonMessage message(Serial);
    message.memberTenths(F("aileron_position"), axisTenths(joystick::aileronChannel));
    message.memberTenths(F("elevator_position"), axisTenths(joystick::elevatorChannel));
    message.member(F("camera_point_of_interest"), camera.take());
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
}

void loop() {
    uint16_t now = 0;
    if (!newMillisecond(now)) return;
    for (PanelSwitch* contact : switches) contact->poll(now);
    if (static_cast<uint16_t>(now - lastSentMs) >= sendPeriodMs) {
        lastSentMs = now;
        sendMessage();
    }
    idleUntilInterrupt();
}
