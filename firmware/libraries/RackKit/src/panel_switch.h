// Switches and push buttons. Contacts bounce for a few milliseconds, so a new level counts
// only once it has held for `settleMs`.
#pragma once

#include <stdint.h>

namespace rackkit {

class Debouncer {
public:
    static constexpr uint16_t settleMs = 5;
    // Takes the contact's raw level (true: closed); true when it has just become closed.
    bool update(bool raw, uint16_t nowMs);
    bool closed() const { return stable_; }
    // The level to send: 1 while closed, and also when it was closed at any moment since
    // the last call, so that a tap shorter than the send period still reaches the service.
    uint8_t take();

private:
    bool raw_ = false;
    bool stable_ = false;
    bool latched_ = false;
    uint16_t changedAt_ = 0;
};

// A contact between a pin and ground, read with the pin's pull-up: closed reads low, and a
// broken wire reads open.
class PanelSwitch : public Debouncer {
public:
    void begin(uint8_t pin);
    bool poll(uint16_t nowMs);

private:
    uint8_t pin_ = 0;
};

}  // namespace rackkit
