#include "rack-emulator/action_queue.h"

namespace rackemu {

void ActionQueue::add(Clock::time_point at, Action action) {
    // A multimap keeps equal keys in insertion order.
    waiting_.emplace(at, std::move(action));
}

std::optional<Clock::time_point> ActionQueue::next() const {
    if (waiting_.empty()) return std::nullopt;
    return waiting_.begin()->first;
}

std::vector<Action> ActionQueue::takeDue(Clock::time_point now) {
    std::vector<Action> due;
    auto end = waiting_.upper_bound(now);
    for (auto it = waiting_.begin(); it != end; ++it) due.push_back(std::move(it->second));
    waiting_.erase(waiting_.begin(), end);
    return due;
}

}  // namespace rackemu
