#include "sim-standin/protocol/request_schedule.h"

namespace standin {

RequestSchedule::RequestSchedule(Kind kind, Clock::duration period, std::uint32_t origin,
                                 std::uint32_t interval, std::uint32_t limit, bool changedOnly,
                                 Clock::time_point now)
    : kind_(kind),
      // The interval counts the periods skipped between two sends.
      step_(period * (std::int64_t{interval} + 1)),
      limit_(limit),
      changedOnly_(changedOnly),
      next_(now + period * std::int64_t{origin}) {}

void RequestSchedule::sent(Clock::time_point now) {
    ++count_;
    next_ = now + step_;
}

bool RequestSchedule::finished() const {
    return kind_ == Kind::Once || (limit_ != 0 && count_ >= limit_);
}

}  // namespace standin
