// Lets the calling thread's timed waits end late while the scope lives. Waiting for a
// text rack's next message, the serial port's reads give up after a millisecond when
// nothing comes, and a thousand wake-ups a second are most of the service's idle cost.
// A read still returns the moment a byte arrives; only the empty reads end later.
#pragma once

#include <chrono>
#include <cstdint>

class TimerSlackScope {
public:
    explicit TimerSlackScope(std::chrono::milliseconds slack);
    ~TimerSlackScope();
    TimerSlackScope(const TimerSlackScope&) = delete;
    TimerSlackScope& operator=(const TimerSlackScope&) = delete;

private:
    // The thread's setting before the scope, restored at its end (unused where the system
    // has no such setting).
    std::int64_t previousNs_ = 0;
};
