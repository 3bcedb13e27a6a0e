// Joystick rack on an Arduino Uno or Nano (ATmega328P): the pin map.
//
// The stick's two potentiometers have their ends on GND and 5 V and their wipers on the
// analog pins; every switch and button is wired from its pin to GND (the sketch turns the
// pins' pull-ups on).
#pragma once

#include <stdint.h>

namespace joystick {

// ADC channels (pins A0, A1): 0 V is full left / full forward, 5 V full right / full back.
constexpr uint8_t aileronChannel = 0;
constexpr uint8_t elevatorChannel = 1;

// Held while the board powers up, the camera button starts the axes' calibration.
constexpr uint8_t cameraButton = 2;
constexpr uint8_t calibrationButton = cameraButton;
constexpr uint8_t trimRightSwitch = 3;
constexpr uint8_t trimLeftSwitch = 4;
constexpr uint8_t spoilerExtendSwitch = 5;
constexpr uint8_t spoilerRetractSwitch = 6;
constexpr uint8_t autopilotButton = 7;

}  // namespace joystick
