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

void HeldUntilChange::update(bool pulled, int32_t dot, uint16_t nowMs) {
    if (pulled && !pulled_) {
        active_ = true;
        dot_ = dot;
    }
    if (!pulled && pulled_) since_ = nowMs;
    pulled_ = pulled;
    if (dot != dot_) active_ = false;
    if (!pulled && static_cast<uint16_t>(nowMs - since_) >= limitMs) active_ = false;
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
