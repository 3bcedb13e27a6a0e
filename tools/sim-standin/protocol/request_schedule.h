// When a standing data request may send: its period, the origin and interval counted in
// periods, the limit on the number of sends, and whether only changed data goes out.
#pragma once

#include <cstdint>

#include "sim-standin/model/request_log.h"

namespace standin {

class RequestSchedule {
public:
    // Frames are counted at 30 a second.
    static constexpr auto kFrame = std::chrono::microseconds(33333);

    enum class Kind { Once, Periodic, OnSet };

    RequestSchedule(Kind kind, Clock::duration period, std::uint32_t origin, std::uint32_t interval,
                    std::uint32_t limit, bool changedOnly, Clock::time_point now);

    bool onSet() const { return kind_ == Kind::OnSet; }
    bool changedOnly() const { return changedOnly_; }
    bool ready(Clock::time_point now) const { return now >= next_; }
    Clock::time_point next() const { return next_; }
    void sent(Clock::time_point now);
    bool finished() const;

private:
    Kind kind_;
    Clock::duration step_;
    std::uint32_t limit_;
    bool changedOnly_;
    Clock::time_point next_;
    std::uint32_t count_ = 0;
};

}  // namespace standin
