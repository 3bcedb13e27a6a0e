// What a panel keeps between the service's frames: settings that follow the aircraft, a
// knob pull held until the aircraft has taken it, and selectors read only once they stand
// still. Plain logic, for the host's tests too.
#pragma once

#include <stdint.h>

#include "analog_scale.h"

namespace rackkit {

// A setting the panel asks for and the aircraft reports back (the EFIS option, STD). A
// press asks for a value; until the aircraft shows it, or `pendingMs` have passed, the
// panel keeps asking. Otherwise the panel follows the aircraft, so that a change made in
// the virtual cockpit is not undone, and the next press starts from what the aircraft has.
class FollowedSetting {
public:
    static constexpr uint16_t pendingMs = 2000;

    void request(int32_t value, uint16_t nowMs);
    void aircraftShows(int32_t value, uint16_t nowMs);
    int32_t value() const { return value_; }
    int32_t aircraft() const { return aircraft_; }

private:
    int32_t value_ = 0;
    int32_t aircraft_ = 0;
    uint16_t since_ = 0;
    bool pending_ = false;
};

// The FCU's speed and heading knobs, pulled or pushed: the service repeats such a field's
// event while it is active, but only when its 200 ms repeat interval runs out on one of its
// reads, which can miss for a second or more. So a pull is held active from the moment it
// is made until the managed dot in the service's frames changes (the aircraft took it):
// while the knob is held, and up to `limitMs` after it is let go. One pull acts, however
// briefly the knob was pulled.
class HeldUntilChange {
public:
    static constexpr uint16_t limitMs = 2000;

    // The contact's debounced level and the dot as the service's last frame showed it.
    void update(bool pulled, int32_t dot, uint16_t nowMs);
    uint8_t level() const { return active_ ? 1 : 0; }

private:
    int32_t dot_ = 0;
    uint16_t since_ = 0;  // when the knob was let go
    bool pulled_ = false;
    bool active_ = false;
};

// A rotary selector on a resistor ladder: between two positions the wiper touches neither
// tap (break-before-make) and the reading wanders, so a position counts only once it has
// read the same for `settleMs`.
class SteadyPosition {
public:
    static constexpr uint16_t settleMs = 20;
    static constexpr uint8_t between = noPosition;

    // Takes the position read now (or `between`); the position that stands.
    uint8_t update(uint8_t reading, uint16_t nowMs);
    uint8_t value() const { return stable_; }

private:
    uint8_t reading_ = between;
    uint8_t stable_ = 0;
    uint16_t since_ = 0;
};

}  // namespace rackkit
