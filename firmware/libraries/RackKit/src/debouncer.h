// A contact's level made fit to send: contacts bounce for a few milliseconds, so a new level
// counts only once it has held for `settleMs`; and a press is shown in at least
// `reportFrames` frames or messages, so that one lost on the line, or a tap shorter than
// the send period, still reaches the service. Plain logic, for the host's tests too.
#pragma once

#include <stdint.h>

namespace rackkit {

class Debouncer {
public:
    static constexpr uint16_t settleMs = 5;
    static constexpr uint8_t reportFrames = 3;
    // Presses that wait while an earlier one is still being shown, at most.
    static constexpr uint8_t queuedPresses = 3;

    // Takes the contact's raw level (true: closed); true when it has just become closed.
    bool update(bool raw, uint16_t nowMs);
    bool closed() const { return stable_; }
    // The level to send in the next frame or message: 1 from a press on, for at least
    // reportFrames calls and as long as the contact stays closed. Two presses are kept
    // apart by a 0, so that the service sees each one.
    uint8_t take();

private:
    bool raw_ = false;
    bool stable_ = false;
    uint16_t changedAt_ = 0;
    uint8_t presses_ = 0;   // presses not yet shown
    uint8_t left_ = 0;      // frames the press being shown still needs
    bool showing_ = false;
};

}  // namespace rackkit
