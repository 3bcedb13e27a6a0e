// Actions waiting for their time; actions due at the same moment run in the order they
// were added.
#pragma once

#include <map>
#include <optional>
#include <vector>

#include "rack-emulator/action.h"

namespace rackemu {

class ActionQueue {
public:
    void add(Clock::time_point at, Action action);
    std::optional<Clock::time_point> next() const;
    std::vector<Action> takeDue(Clock::time_point now);

private:
    std::multimap<Clock::time_point, Action> waiting_;
};

}  // namespace rackemu
