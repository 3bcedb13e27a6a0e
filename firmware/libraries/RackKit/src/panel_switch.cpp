#include "panel_switch.h"

#include <Arduino.h>

namespace rackkit {

bool Debouncer::update(bool raw, uint16_t nowMs) {
    if (raw != raw_) {
        raw_ = raw;
        changedAt_ = nowMs;
        return false;
    }
    if (raw_ == stable_ || static_cast<uint16_t>(nowMs - changedAt_) < settleMs) return false;
    stable_ = raw_;
    if (stable_) latched_ = true;
    return stable_;
}

uint8_t Debouncer::take() {
    const uint8_t level = stable_ || latched_ ? 1 : 0;
    latched_ = false;
    return level;
}

void PanelSwitch::begin(uint8_t pin) {
    pin_ = pin;
    pinMode(pin, INPUT_PULLUP);
}

bool PanelSwitch::poll(uint16_t nowMs) {
    return update(digitalRead(pin_) == LOW, nowMs);
}

}  // namespace rackkit
