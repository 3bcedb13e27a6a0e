// Turns the operator's stop requests (SIGINT and SIGTERM on POSIX) into a flag and a
// handle that the server's wait wakes up on. One instance per process.
#pragma once

#include <cstdint>

namespace standin {

class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    bool requested() const;
    // The OS handle that becomes ready when a stop is requested (a file descriptor on POSIX).
    std::intptr_t waitHandle() const;
    // Empties the handle after a wake-up.
    void drain() const;
};

}  // namespace standin
