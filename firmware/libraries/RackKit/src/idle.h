// Lets the processor idle until the next interrupt (the 1 ms clock tick at the latest, or
// a byte on the line, or the knobs' sampling): the loop has nothing to do in between.
#pragma once

#include <stdint.h>

namespace rackkit {

void idleUntilInterrupt();

// For the top of the sketch's loop: true, with the time, once in each millisecond; else it
// idles until the next interrupt and gives false. Contacts and lines need a look only
// once a millisecond, however often the interrupts wake the loop.
bool newMillisecond(uint16_t& nowMs);

}  // namespace rackkit
