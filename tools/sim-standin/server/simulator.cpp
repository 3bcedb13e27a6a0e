#include "sim-standin/server/simulator.h"

namespace standin {

Simulator::Simulator(SimulatorConfig config, RequestLog& log, std::ostream& console,
                     Clock::time_point start)
    : config_(std::move(config)), log_(log), console_(console), start_(start) {
    world_.rules = config_.rules;
    world_.flightStarted = config_.flightStarted;
    snapshot_ = takeSnapshot(world_.model);
}

Clock::time_point Simulator::at(double seconds) const {
    return start_ +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

void Simulator::say(const std::string& line) {
    console_ << "sim-standin: " << line << std::endl;
}

std::uint32_t Simulator::connect(std::string_view endpoint, Clock::time_point now) {
    // Session ids count up from 1 and are never reused while the stand-in runs.
    const std::uint32_t id = ++lastId_;
    connections_.emplace(id, std::make_unique<Connection>(id, world_, log_));
    log_.note(now, id, Json{{"event", "connect"}, {"endpoint", endpoint}});
    say("session " + std::to_string(id) + " connected (" + std::string(endpoint) + ")");
    return id;
}

void Simulator::receive(std::uint32_t id, const std::uint8_t* data, std::size_t size,
                        Clock::time_point now) {
    const auto found = connections_.find(id);
    if (found == connections_.end() || !found->second->closeReason.empty()) return;
    Connection& connection = *found->second;
    connection.frames.append(data, size);
    while (auto request = connection.frames.next()) {
        connection.session.handle(*request, now);
        afterChange(id, now);
    }
    if (!connection.frames.problem().empty()) malformed(id, connection, now);
}

void Simulator::malformed(std::uint32_t id, Connection& connection, Clock::time_point now) {
    const std::string& problem = connection.frames.problem();
    log_.note(now, id, Json{{"event", "malformed"}, {"reason", problem}});
    say("session " + std::to_string(id) + " malformed: " + problem);
    connection.closeReason = "malformed";
}

void Simulator::peerClosed(std::uint32_t id, std::string_view reason, Clock::time_point now) {
    const auto found = connections_.find(id);
    if (found == connections_.end()) return;
    Connection& connection = *found->second;
    if (!connection.closeReason.empty()) return;
    connection.frames.finish();
    if (!connection.frames.problem().empty()) {
        malformed(id, connection, now);
    } else {
        connection.closeReason = reason;
    }
}

void Simulator::closed(std::uint32_t id, std::string_view reason, Clock::time_point now) {
    if (connections_.erase(id) == 0) return;
    log_.note(now, id, Json{{"event", "close"}, {"reason", reason}});
    say("session " + std::to_string(id) + " closed (" + std::string(reason) + ")");
}

Bytes Simulator::takeOutput(std::uint32_t id) {
    const auto found = connections_.find(id);
    return found == connections_.end() ? Bytes{} : found->second->session.takeOutput();
}

std::string Simulator::closeReason(std::uint32_t id) const {
    const auto found = connections_.find(id);
    return found == connections_.end() ? "closed" : found->second->closeReason;
}

void Simulator::advance(Clock::time_point now) {
    while (ending_ == Ending::None && nextAction_ < config_.script.size() &&
           at(config_.script[nextAction_].at) <= now) {
        runAction(config_.script[nextAction_++], now);
    }
    if (!readingStopped_ && config_.stopReadingAfter && at(*config_.stopReadingAfter) <= now) {
        readingStopped_ = true;
        log_.note(now, 0, Json{{"event", "stop_reading"}});
        say("stopped reading");
    }
    if (ending_ == Ending::None && config_.breakAfter && at(*config_.breakAfter) <= now) {
        breakConnections(now);
    }
    if (ending_ == Ending::None && config_.quitAfter && at(*config_.quitAfter) <= now) {
        quit("quit-after", now);
    }
    if (ending_ == Ending::None) afterChange(0, now);
}

void Simulator::runAction(const ScriptAction& action, Clock::time_point now) {
    log_.note(now, 0, Json{{"event", "script"}, {"action", action.source}});
    switch (action.kind) {
        case ScriptAction::Kind::StartFlight:
            if (!world_.flightStarted) log_.note(now, 0, Json{{"event", "flight_start"}});
            world_.flightStarted = true;
            break;
        case ScriptAction::Kind::Quit:
            quit("script", now);
            return;
        case ScriptAction::Kind::Break:
            breakConnections(now);
            return;
        default:
            applyToModel(action, world_.model);
            break;
    }
    afterChange(0, now);
}

void Simulator::quit(std::string_view cause, Clock::time_point now) {
    if (ending_ != Ending::None) return;
    ending_ = Ending::Quit;
    log_.note(now, 0, Json{{"event", "quit"}, {"cause", cause}});
    say("quit (" + std::string(cause) + ")");
    for (auto& [id, connection] : connections_) {
        connection->session.sendQuit(now);
        if (connection->closeReason.empty()) connection->closeReason = "quit";
    }
}

void Simulator::breakConnections(Clock::time_point now) {
    ending_ = Ending::Break;
    log_.note(now, 0, Json{{"event", "break"}});
    say("break");
    for (auto& [id, connection] : connections_) {
        if (!connection->closeReason.empty()) continue;
        if (config_.breakMidMessage) connection->session.sendCutMessage(now);
        connection->closeReason = "break";
    }
}

void Simulator::afterChange(std::uint32_t cause, Clock::time_point now) {
    world_.companion.publish();
    ModelSnapshot next = takeSnapshot(world_.model);
    for (const Json& change : modelChanges(snapshot_, next)) log_.note(now, cause, change);
    snapshot_ = std::move(next);
    for (auto& [id, connection] : connections_) connection->session.refresh(now);
}

std::optional<Clock::time_point> Simulator::nextWake() const {
    if (ending_ != Ending::None) return std::nullopt;
    std::optional<Clock::time_point> wake;
    const auto consider = [&wake](std::optional<Clock::time_point> t) {
        if (t && (!wake || *t < *wake)) wake = t;
    };
    if (nextAction_ < config_.script.size()) consider(at(config_.script[nextAction_].at));
    if (config_.quitAfter) consider(at(*config_.quitAfter));
    if (config_.breakAfter) consider(at(*config_.breakAfter));
    if (config_.stopReadingAfter && !readingStopped_) consider(at(*config_.stopReadingAfter));
    for (const auto& [id, connection] : connections_) consider(connection->session.nextDue());
    return wake;
}

}  // namespace standin
