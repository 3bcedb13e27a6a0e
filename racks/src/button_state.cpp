#include "racks/button_state.h"

void ButtonState::update(std::int32_t value) {
    const bool down = value != 0;
    pressed = down;
    rising = down && !previous;
    previous = down;
}
