#include "idle.h"

#include <avr/sleep.h>

namespace rackkit {

void idleUntilInterrupt() {
    set_sleep_mode(SLEEP_MODE_IDLE);
    sleep_mode();
}

}  // namespace rackkit
