// Lets the processor idle until the next interrupt (the 1 ms clock tick at the latest, or
// a byte on the line, or the knobs' sampling): the loop has nothing to do in between.
#pragma once

namespace rackkit {

void idleUntilInterrupt();

}  // namespace rackkit
