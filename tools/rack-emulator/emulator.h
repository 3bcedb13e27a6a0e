// The whole run: the racks, the actions waiting for their time, and the end of the run.
// It knows nothing of devices or waiting: the event loop feeds it the time, the bytes
// received and the control lines, and sleeps until nextWake().
#pragma once

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "rack-emulator/action_queue.h"
#include "rack-emulator/rack.h"
#include "rack-emulator/script.h"

namespace rackemu {

class Emulator {
public:
    // `out` gets the panels' displays (and the actions when verbose), `err` the complaints
    // about control lines, each line naming `program`.
    Emulator(EventLog& log, std::ostream& out, std::ostream& err, bool verbose,
             std::string program = "rack-emulator");

    void addRack(RackKind kind, RackLine& line, std::chrono::milliseconds period);
    void addRack(RackKind kind, std::unique_ptr<RackPlayer> player);
    bool hasRack(RackKind kind) const { return racks_.count(kind) != 0; }

    // Throws ActionError when a step names a rack that is not part of the run. With
    // `afterOpen`, the steps' times count from the first open of a rack's device by
    // another program (deviceOpened) instead of from the start.
    void schedule(const std::vector<ScriptStep>& steps, bool afterOpen = false);
    void deviceOpened(Clock::time_point now);
    void quitAt(Clock::time_point at);
    // One line from the control channel; a bad line is reported and skipped, as is an
    // action that its rack refuses.
    void controlLine(std::string_view line, Clock::time_point now);
    void received(RackKind kind, std::span<const std::uint8_t> bytes, Clock::time_point now);

    // Runs the actions that are due, then sends what is due.
    void step(Clock::time_point now);
    Clock::time_point nextWake() const;
    bool finished() const { return finished_; }

private:
    void checkRack(const Action& action) const;
    void run(const Action& action, Clock::time_point now);
    void apply(const Action& action, Clock::time_point now);
    void refuse(std::string_view line, const ActionError& error, Clock::time_point now);
    void addSteps(const std::vector<ScriptStep>& steps, Clock::time_point origin);
    Clock::time_point atSeconds(double seconds) const;

    EventLog& log_;
    std::ostream& out_;
    std::ostream& err_;
    bool verbose_;
    std::string program_;
    std::map<RackKind, std::unique_ptr<RackPlayer>> racks_;
    ActionQueue queue_;
    std::vector<ScriptStep> waitingScript_;
    bool finished_ = false;
};

}  // namespace rackemu
