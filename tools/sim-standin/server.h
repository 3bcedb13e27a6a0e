// The stand-in's listeners and connections: the simulator's pipe and TCP on the loopback
// addresses. It carries bytes between the sockets and the Simulator and waits, without
// spinning, for the next byte, connection, stop request or due time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "tools/sim-standin/simulator.h"
#include "tools/sim-standin/stop_signal.h"

namespace standin {

struct ListenPlan {
    std::optional<std::string> pipePath;  // e.g. \\.\pipe\Microsoft Flight Simulator\SimConnect
    bool tcp = true;
    std::uint16_t tcpPort = 0;  // 0: ports the system chooses
};

struct ListeningPorts {
    std::optional<std::string> pipePath;
    std::optional<std::uint16_t> ipv4;  // 127.0.0.1
    std::optional<std::uint16_t> ipv6;  // ::1, when this machine has it
};

class Server {
public:
    Server(Simulator& simulator, std::ostream& console);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Opens every listener of the plan; false with the reason when one cannot be opened.
    // A machine without IPv6 loopback only loses the IPv6 listener.
    bool listen(const ListenPlan& plan, std::string& error);
    const ListeningPorts& ports() const;

    // Serves clients until the simulator's scenario ends or a stop is requested (which
    // ends it as a quit). All connections are closed when it returns.
    void run(const StopSignal& stop);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace standin
