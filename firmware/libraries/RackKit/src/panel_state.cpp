#include "panel_state.h"

namespace rackkit {

void FollowedSetting::request(int32_t value, uint16_t nowMs) {
    value_ = value;
    since_ = nowMs;
    pending_ = true;
}

void FollowedSetting::aircraftShows(int32_t value, uint16_t nowMs) {
    aircraft_ = value;
    if (pending_ && (value == value_ || static_cast<uint16_t>(nowMs - since_) >= pendingMs)) pending_ = false;
    if (!pending_) value_ = value;
}

void HeldUntilChange::start(int32_t dotNow, uint16_t nowMs) {
    dot_ = dotNow;
    since_ = nowMs;
    held_ = true;
}

void HeldUntilChange::dotShows(int32_t dot) {
    if (dot != dot_) held_ = false;
}

uint8_t HeldUntilChange::level(uint16_t nowMs) {
    if (held_ && static_cast<uint16_t>(nowMs - since_) >= limitMs) held_ = false;
    return held_ ? 1 : 0;
}

uint8_t SteadyPosition::update(uint8_t reading, uint16_t nowMs) {
    if (reading != reading_) {
        reading_ = reading;
        since_ = nowMs;
    } else if (reading_ != between && static_cast<uint16_t>(nowMs - since_) >= settleMs) {
        stable_ = reading_;
    }
    return stable_;
}

}  // namespace rackkit
