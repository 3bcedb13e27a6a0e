// Edge detection for one rack button: a press acts once, on the first input that shows
// the button down; holding it does nothing more, and a release re-arms it.
#pragma once

#include <cstdint>

struct ButtonState {
    // Takes the button's raw input (nonzero: pressed) and sets `rising` when it went down.
    void update(std::int32_t value);

    bool pressed = false;
    bool previous = false;
    bool rising = false;
};
