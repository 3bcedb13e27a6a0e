#include "sim-standin/server/server.h"

namespace standin {
namespace {

// A client that reads nothing while the stand-in keeps sending is cut off at this much.
constexpr std::size_t kMaxPendingOutput = 16 * 1024 * 1024;
constexpr auto kQuitFlushTime = std::chrono::seconds(2);

}  // namespace

long long millisUntil(std::optional<Clock::time_point> wake, Clock::time_point now) {
    if (!wake) return -1;
    if (*wake <= now) return 0;
    return std::chrono::ceil<std::chrono::milliseconds>(*wake - now).count();
}

bool Server::listen(const ListenPlan& plan, std::string& error) {
    if (plan.pipePath) {
        if (!openPipe(*plan.pipePath, error)) return false;
        ports_.pipePath = plan.pipePath;
    }
    if (!plan.tcp) return true;
    if (!startTcp(error)) return false;
    if (plan.tcpAddress) {
        // One address, of the family its text shows.
        const bool ipv6 = plan.tcpAddress->find(':') != std::string::npos;
        auto& port = ipv6 ? ports_.ipv6 : ports_.ipv4;
        (ipv6 ? ports_.ipv6Address : ports_.ipv4Address) = *plan.tcpAddress;
        port = openTcp(ipv6, *plan.tcpAddress, plan.tcpPort, error);
        return port.has_value();
    }
    ports_.ipv4 = openTcp(false, ports_.ipv4Address, plan.tcpPort, error);
    if (!ports_.ipv4) return false;
    std::string v6error;
    ports_.ipv6 = openTcp(true, ports_.ipv6Address, plan.tcpPort, v6error);
    if (!ports_.ipv6) console << "sim-standin: no IPv6 listener (" << v6error << ")" << std::endl;
    return true;
}

void Server::run(const StopSignal& stop) {
    for (;;) {
        const auto now = Clock::now();
        if (stop.requested()) simulator.quit("signal", now);
        simulator.advance(now);
        collectOutput(now);
        if (simulator.ending() != Ending::None) break;
        closeFinished(now);
        waitAndServe(stop);
    }
    finish();
}

void Server::collectOutput(Clock::time_point now) {
    const std::vector<std::uint32_t> open = sessions();
    for (std::uint32_t session : open) {
        Bytes& out = pendingOutput(session);
        const Bytes more = simulator.takeOutput(session);
        out.insert(out.end(), more.begin(), more.end());
        if (out.size() > kMaxPendingOutput) {
            out.clear();
            simulator.peerClosed(session, "not reading", now);
        }
    }
    for (std::uint32_t session : open) {
        if (!pendingOutput(session).empty()) flush(session, now);
    }
}

void Server::closeFinished(Clock::time_point now) {
    for (std::uint32_t session : sessions()) {
        const std::string reason = simulator.closeReason(session);
        if (!reason.empty()) closeLink(session, reason, now);
    }
}

void Server::closeLink(std::uint32_t session, const std::string& reason, Clock::time_point now) {
    if (closeConnection(session)) simulator.closed(session, reason, now);
}

void Server::finish() {
    // What the simulator sent last (a QUIT, a cut message) is delivered before the
    // connection closes, within a bound.
    deliverLastOutput(Clock::now() + kQuitFlushTime);
    const auto now = Clock::now();
    for (std::uint32_t session : sessions()) {
        const std::string reason = simulator.closeReason(session);
        closeLink(session, reason.empty() ? "stopped" : reason, now);
    }
}

}  // namespace standin
