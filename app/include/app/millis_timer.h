// A millisecond stopwatch on the monotonic clock, for the rack handlers' periods.
#pragma once

#include <cstdint>

class MillisTimer {
public:
    // Starts the watch unless it is already running.
    void startIfUnset();
    // Milliseconds since the start; also kept in lastElapsed.
    std::uint64_t elapsed();
    void restart();

    // The monotonic clock in whole milliseconds.
    static std::uint64_t nowMs();

    std::uint64_t startMs = 0;
    std::uint64_t lastElapsed = 0;
};
