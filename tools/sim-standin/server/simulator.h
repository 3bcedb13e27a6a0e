// The simulator as its clients see it, without any operating-system I/O: sessions come and
// go, their bytes are cut into requests and answered, the script's actions and the
// scenario's ending happen on time, and every change reaches the standing requests of all
// sessions. The server feeds it bytes and carries its output to the sockets.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "sim-standin/protocol/frame_reader.h"
#include "sim-standin/model/model_changes.h"
#include "sim-standin/protocol/protocol_session.h"
#include "sim-standin/model/request_log.h"
#include "sim-standin/model/scenario_script.h"

namespace standin {

struct SimulatorConfig {
    SessionRules rules;
    bool flightStarted = true;  // false: the flight starts with the script's start_flight
    std::vector<ScriptAction> script;
    std::optional<double> quitAfter;   // seconds
    std::optional<double> breakAfter;  // seconds
    bool breakMidMessage = false;      // a break first sends part of a message
    std::optional<double> stopReadingAfter;  // seconds
};

enum class Ending { None, Quit, Break };

class Simulator {
public:
    Simulator(SimulatorConfig config, RequestLog& log, std::ostream& console,
              Clock::time_point start);

    std::uint32_t connect(std::string_view endpoint, Clock::time_point now);
    void receive(std::uint32_t session, const std::uint8_t* data, std::size_t size,
                 Clock::time_point now);
    // The peer has closed its side (or the connection failed); the server closes it.
    void peerClosed(std::uint32_t session, std::string_view reason, Clock::time_point now);
    // The server has closed the connection: the session ends.
    void closed(std::uint32_t session, std::string_view reason, Clock::time_point now);

    Bytes takeOutput(std::uint32_t session);
    // Why the server must close this connection; empty while it may stay open.
    std::string closeReason(std::uint32_t session) const;

    // Carries out what is due by `now`: script actions, the ending, periodic data.
    void advance(Clock::time_point now);
    // When advance has something to do next, if no bytes arrive meanwhile.
    std::optional<Clock::time_point> nextWake() const;
    // Ends the flight as a simulator that quits: QUIT to every client.
    void quit(std::string_view cause, Clock::time_point now);
    Ending ending() const { return ending_; }
    // False once the simulator hangs (--stop-reading-after): the server reads no more.
    bool reading() const { return !readingStopped_; }

    const SimWorld& world() const { return world_; }

private:
    struct Connection {
        Connection(std::uint32_t id, SimWorld& world, RequestLog& log) : session(id, world, log) {}
        ProtocolSession session;
        FrameReader frames;
        std::string closeReason;
    };

    void runAction(const ScriptAction& action, Clock::time_point now);
    void breakConnections(Clock::time_point now);
    void malformed(std::uint32_t id, Connection& connection, Clock::time_point now);
    // After anything that may have changed the model: publish, log the changes, and let
    // every session send what its requests now call for.
    void afterChange(std::uint32_t cause, Clock::time_point now);
    Clock::time_point at(double seconds) const;
    void say(const std::string& line);

    SimulatorConfig config_;
    RequestLog& log_;
    std::ostream& console_;
    Clock::time_point start_;
    SimWorld world_;
    ModelSnapshot snapshot_;
    std::map<std::uint32_t, std::unique_ptr<Connection>> connections_;
    std::uint32_t lastId_ = 0;
    std::size_t nextAction_ = 0;
    Ending ending_ = Ending::None;
    bool readingStopped_ = false;
};

}  // namespace standin
