// The stand-in's listeners and connections: the simulator's pipe and TCP on the loopback
// addresses (or on one address that other machines reach). It carries bytes between the sockets and the Simulator and waits, without
// spinning, for the next byte, connection, stop request or due time.
//
// The loop that moves the simulator along, the bound on output a client leaves unread and
// the closing of finished sessions are the same on every system (server.cpp); each
// system's server (server_<os>.cpp) opens the listeners, waits and moves the bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim-standin/server/simulator.h"
#include "sim-standin/server/stop_signal.h"

namespace standin {

struct ListenPlan {
    std::optional<std::string> pipePath;  // e.g. \\.\pipe\Microsoft Flight Simulator\SimConnect
    bool tcp = true;
    std::uint16_t tcpPort = 0;  // 0: ports the system chooses
    // TCP on this address only, instead of 127.0.0.1 and ::1.
    std::optional<std::string> tcpAddress;
};

struct ListeningPorts {
    std::optional<std::string> pipePath;
    std::optional<std::uint16_t> ipv4;
    std::optional<std::uint16_t> ipv6;  // on the loopback, when this machine has it
    std::string ipv4Address = "127.0.0.1";
    std::string ipv6Address = "::1";
};

class Server {
public:
    // This system's server.
    static std::unique_ptr<Server> create(Simulator& simulator, std::ostream& console);
    virtual ~Server() = default;
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Opens every listener of the plan; false with the reason when one cannot be opened.
    // A machine without IPv6 loopback only loses the IPv6 listener.
    bool listen(const ListenPlan& plan, std::string& error);
    const ListeningPorts& ports() const { return ports_; }

    // Serves clients until the simulator's scenario ends or a stop is requested (which
    // ends it as a quit). All connections are closed when it returns.
    void run(const StopSignal& stop);

protected:
    Server(Simulator& s, std::ostream& c) : simulator(s), console(c) {}

    virtual bool openPipe(const std::string& path, std::string& error) = 0;
    virtual bool startTcp(std::string& error) = 0;
    // Listens on `address`, an IPv6 one when `ipv6`; returns the port it got.
    virtual std::optional<std::uint16_t> openTcp(bool ipv6, const std::string& address,
                                                 std::uint16_t port, std::string& error) = 0;
    // Waits for the next byte, connection, stop request or due time, and serves it.
    virtual void waitAndServe(const StopSignal& stop) = 0;
    // Before the connections close: gives an ending simulator's last output (a quit's QUIT,
    // a break's cut message) its chance to reach the clients, until the deadline.
    virtual void deliverLastOutput(Clock::time_point deadline) = 0;

    // The open connections, by session, and what waits to be sent on each.
    virtual std::vector<std::uint32_t> sessions() const = 0;
    virtual Bytes& pendingOutput(std::uint32_t session) = 0;
    // Sends what the session's pending output holds, as far as the connection takes it now.
    virtual void flush(std::uint32_t session, Clock::time_point now) = 0;
    // Closes the session's connection and forgets it; false when there is none.
    virtual bool closeConnection(std::uint32_t session) = 0;

    Simulator& simulator;
    std::ostream& console;

private:
    void collectOutput(Clock::time_point now);
    void closeFinished(Clock::time_point now);
    void closeLink(std::uint32_t session, const std::string& reason, Clock::time_point now);
    void finish();

    ListeningPorts ports_;
};

// Milliseconds from `now` until `wake`, rounded up so that a wait never ends just before
// the due time; -1 without a wake.
long long millisUntil(std::optional<Clock::time_point> wake, Clock::time_point now);

// The sessions of a server's connections, kept in a map by session.
template <typename Links>
std::vector<std::uint32_t> sessionsOf(const Links& links) {
    std::vector<std::uint32_t> sessions;
    for (const auto& entry : links) sessions.push_back(entry.first);
    return sessions;
}

}  // namespace standin
