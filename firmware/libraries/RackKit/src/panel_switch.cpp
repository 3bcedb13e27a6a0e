#include "panel_switch.h"

#include <Arduino.h>

namespace rackkit {

void PanelSwitch::begin(uint8_t pin) {
    pin_ = pin;
    pinMode(pin, INPUT_PULLUP);
}

bool PanelSwitch::poll(uint16_t nowMs) {
    return update(digitalRead(pin_) == LOW, nowMs);
}

}  // namespace rackkit
