#include "rack-emulator/emulator.h"

#include <algorithm>
#include <cstdio>

namespace rackemu {

Emulator::Emulator(EventLog& log, std::ostream& out, std::ostream& err, bool verbose,
                   std::string program)
    : log_(log), out_(out), err_(err), verbose_(verbose), program_(std::move(program)) {}

void Emulator::addRack(RackKind kind, RackLine& line, std::chrono::milliseconds period) {
    racks_[kind] = std::make_unique<Rack>(kind, line, period, log_, out_);
}

void Emulator::addRack(RackKind kind, std::unique_ptr<RackPlayer> player) {
    racks_[kind] = std::move(player);
}

Clock::time_point Emulator::atSeconds(double seconds) const {
    return log_.start() + fromSeconds(seconds);
}

void Emulator::checkRack(const Action& action) const {
    if (action.verb == Verb::Mark || action.verb == Verb::Quit || hasRack(action.rack)) return;
    throw ActionError("rack not emulated in this run: " + std::string(rackName(action.rack)));
}

void Emulator::schedule(const std::vector<ScriptStep>& steps, bool afterOpen) {
    for (const ScriptStep& step : steps) checkRack(step.action);
    if (afterOpen) {
        waitingScript_ = steps;
    } else {
        addSteps(steps, log_.start());
    }
}

void Emulator::deviceOpened(Clock::time_point now) {
    if (waitingScript_.empty()) return;
    log_.event("script_started", Json::object(), now);
    addSteps(waitingScript_, now);
    waitingScript_.clear();
}

void Emulator::addSteps(const std::vector<ScriptStep>& steps, Clock::time_point origin) {
    for (const ScriptStep& step : steps) queue_.add(origin + fromSeconds(step.at), step.action);
}

void Emulator::quitAt(Clock::time_point at) {
    Action quit;
    quit.text = "quit (end of duration)";
    queue_.add(at, std::move(quit));
}

void Emulator::controlLine(std::string_view line, Clock::time_point now) {
    if (isBlankOrComment(line)) return;
    try {
        TimedAction timed = parseActionLine(line);
        checkRack(timed.action);
        Clock::time_point at = now;
        if (timed.base == TimeBase::Start) at = std::max(now, atSeconds(timed.seconds));
        if (timed.base == TimeBase::Previous) at = now + fromSeconds(timed.seconds);
        queue_.add(at, std::move(timed.action));
    } catch (const ActionError& error) {
        refuse(line, error, now);
    }
}

void Emulator::refuse(std::string_view line, const ActionError& error, Clock::time_point now) {
    err_ << program_ << ": control: " << error.what() << std::endl;
    log_.event("error", {{"line", std::string(line)}, {"error", error.what()}}, now);
}

void Emulator::received(RackKind kind, std::span<const std::uint8_t> bytes, Clock::time_point now) {
    racks_.at(kind)->received(bytes, now);
}

void Emulator::run(const Action& action, Clock::time_point now) {
    log_.event(action.verb == Verb::Mark ? "mark" : "action", {{"text", action.text}}, now);
    if (verbose_) {
        const std::chrono::duration<double> t = now - log_.start();
        char time[32];
        std::snprintf(time, sizeof time, "%.3f", t.count());
        out_ << program_ << ": " << time << ' ' << (action.verb == Verb::Mark ? "mark " : "")
             << action.text << std::endl;
    }
    if (action.verb == Verb::Quit) {
        finished_ = true;
        return;
    }
    if (action.verb == Verb::Mark) return;
    try {
        apply(action, now);
    } catch (const ActionError& error) {
        refuse(action.text, error, now);
    }
}

void Emulator::apply(const Action& action, Clock::time_point now) {
    RackPlayer& rack = *racks_.at(action.rack);
    if (action.verb != Verb::Hold) {
        rack.apply(action, now);
        return;
    }
    Action press = action;
    press.verb = Verb::Press;
    rack.apply(press, now);
    Action release = action;
    release.verb = Verb::Release;
    release.text =
        "release " + std::string(rackName(action.rack)) + " " + action.target + " (end of hold)";
    queue_.add(now + fromSeconds(action.seconds), std::move(release));
}

void Emulator::step(Clock::time_point now) {
    // Actions first, so that a frame due at the same moment already carries them.
    for (const Action& action : queue_.takeDue(now)) {
        if (finished_) return;
        run(action, now);
    }
    if (finished_) return;
    for (auto& [kind, rack] : racks_) rack->sendIfDue(now);
}

Clock::time_point Emulator::nextWake() const {
    Clock::time_point wake = queue_.next().value_or(Clock::time_point::max());
    for (const auto& [kind, rack] : racks_) wake = std::min(wake, rack->nextSend());
    return wake;
}

}  // namespace rackemu
