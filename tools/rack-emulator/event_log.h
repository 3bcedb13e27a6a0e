// The JSON-lines log of a run (--log FILE): one object per line, flushed per line, so that
// another process can follow it while the run goes on. Every line starts with
//   "t":       seconds since the start of the run (the time the ready line was printed),
//   "mono_ns": std::chrono::steady_clock nanoseconds since its epoch, which on Linux is
//              CLOCK_MONOTONIC and so comparable between processes of one machine.
// The rest of each kind of line is described in the help text (options.cpp) and in
// testing/include/testing/rack_log.h.
#pragma once

#include <fstream>
#include <string>

#include "rack-emulator/action.h"

namespace rackemu {

class EventLog {
public:
    explicit EventLog(Clock::time_point start) : start_(start) {}

    // An empty path keeps the log off; false when the file cannot be created.
    bool open(const std::string& path);
    Clock::time_point start() const { return start_; }

    // Writes `entry` with the time fields put in front of its own members.
    void write(const Json& entry, Clock::time_point at);
    void event(const std::string& name, const Json& details, Clock::time_point at);

private:
    Clock::time_point start_;
    std::ofstream file_;
};

// One compact log line. Raw messages may hold any bytes, so text that is not UTF-8 is
// replaced rather than refused.
std::string dumpLine(const Json& entry);

}  // namespace rackemu
