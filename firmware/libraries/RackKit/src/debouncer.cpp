#include "debouncer.h"

namespace rackkit {

bool Debouncer::update(bool raw, uint16_t nowMs) {
    if (raw != raw_) {
        raw_ = raw;
        changedAt_ = nowMs;
        return false;
    }
    if (raw_ == stable_ || static_cast<uint16_t>(nowMs - changedAt_) < settleMs) return false;
    stable_ = raw_;
    if (stable_ && presses_ < queuedPresses) ++presses_;
    return stable_;
}

uint8_t Debouncer::take() {
    if (showing_) {
        if (left_ > 0) {
            --left_;
            return 1;
        }
        // Still held, and no other press since: the same press.
        if (stable_ && presses_ == 0) return 1;
        showing_ = false;
        return 0;
    }
    if (presses_ == 0) return 0;
    --presses_;
    showing_ = true;
    left_ = reportFrames - 1;
    return 1;
}

}  // namespace rackkit
