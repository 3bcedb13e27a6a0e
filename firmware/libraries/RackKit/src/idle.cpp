#include "idle.h"

#include <Arduino.h>
#include <avr/sleep.h>

namespace rackkit {

void idleUntilInterrupt() {
    set_sleep_mode(SLEEP_MODE_IDLE);
    sleep_mode();
}

bool newMillisecond(uint16_t& nowMs) {
    static uint16_t lastMs = 0;
    nowMs = millis();
    if (nowMs != lastMs) {
        lastMs = nowMs;
        return true;
    }
    idleUntilInterrupt();
    return false;
}

}  // namespace rackkit
