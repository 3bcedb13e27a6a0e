// Switches and push buttons: a contact between a pin and ground, read with the pin's
// pull-up, so that closed reads low and a broken wire reads open.
#pragma once

#include <stdint.h>

#include "debouncer.h"

namespace rackkit {

class PanelSwitch : public Debouncer {
public:
    void begin(uint8_t pin);
    bool poll(uint16_t nowMs);

private:
    uint8_t pin_ = 0;
};

}  // namespace rackkit
