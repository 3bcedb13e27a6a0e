// Linux keeps a per-thread timer slack: how late the kernel may end a thread's timed
// waits so that it can serve several timers with one wake-up.
#include <sys/prctl.h>

#include "racks/timer_slack.h"

TimerSlackScope::TimerSlackScope(std::chrono::milliseconds slack)
    : previousNs_(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0)) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(slack).count();
    prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(ns), 0, 0, 0);
}

TimerSlackScope::~TimerSlackScope() {
    if (previousNs_ > 0) prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(previousNs_), 0, 0, 0);
}
