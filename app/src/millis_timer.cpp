#include "app/millis_timer.h"

#include <chrono>

std::uint64_t MillisTimer::nowMs() {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint64_t>(ns.count()) / 1000000u;
}

void MillisTimer::startIfUnset() {
    if (startMs == 0) startMs = nowMs();
}

std::uint64_t MillisTimer::elapsed() {
    lastElapsed = nowMs() - startMs;
    return lastElapsed;
}

void MillisTimer::restart() {
    startMs = nowMs();
    lastElapsed = 0;
}
