// Windows ends short timed waits on its own timer tick, which already spaces the wake-ups
// of an empty serial read: nothing to change.
#include "racks/timer_slack.h"

TimerSlackScope::TimerSlackScope(std::chrono::milliseconds) {}

TimerSlackScope::~TimerSlackScope() = default;
