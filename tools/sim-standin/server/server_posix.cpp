// POSIX server: the simulator's named pipe is the abstract Unix-domain stream socket whose
// name is the pipe path text; TCP listens on 127.0.0.1 and ::1. One thread waits with poll
// on every socket and the stop handle, so an idle stand-in costs nothing.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstring>
#include <map>
#include <vector>

#include "sim-standin/server/server.h"
#include "sim-standin/server/socket_address.h"

namespace standin {
namespace {

constexpr std::size_t kReadChunk = 65536;
constexpr auto kAcceptPause = std::chrono::milliseconds(100);

std::string lastError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

struct Listener {
    int fd;
    std::string endpoint;  // "pipe", "ipv4" or "ipv6"
};

struct Link {
    int fd;
    Bytes out;
};

int pollTimeout(std::optional<Clock::time_point> wake, Clock::time_point now) {
    return static_cast<int>(std::min<long long>(millisUntil(wake, now), INT_MAX));
}

class PosixServer final : public Server {
public:
    PosixServer(Simulator& s, std::ostream& c) : Server(s, c) {}
    ~PosixServer() override;

private:
    bool openPipe(const std::string& path, std::string& error) override;
    bool startTcp(std::string&) override { return true; }
    std::optional<std::uint16_t> openTcp(bool ipv6, const std::string& host,
                                         std::uint16_t port, std::string& error) override;
    void waitAndServe(const StopSignal& stop) override;
    void deliverLastOutput(Clock::time_point deadline) override;
    std::vector<std::uint32_t> sessions() const override { return sessionsOf(links); }
    Bytes& pendingOutput(std::uint32_t session) override { return links.at(session).out; }
    void flush(std::uint32_t session, Clock::time_point now) override;
    bool closeConnection(std::uint32_t session) override;

    bool bindAndListen(int fd, const sockaddr* address, socklen_t length,
                       const std::string& endpoint, std::string& error);
    void acceptFrom(const Listener& listener, Clock::time_point now);
    void readFrom(std::uint32_t session, Link& link, Clock::time_point now);
    void writeTo(std::uint32_t session, Link& link, Clock::time_point now);
    void lingerUntilClientsClose(Clock::time_point deadline);

    std::vector<Listener> listeners;
    std::map<std::uint32_t, Link> links;
    Clock::time_point acceptPausedUntil{};
};

PosixServer::~PosixServer() {
    for (const Listener& listener : listeners) close(listener.fd);
    for (const auto& [session, link] : links) close(link.fd);
}

bool PosixServer::bindAndListen(int fd, const sockaddr* address, socklen_t length,
                                const std::string& endpoint, std::string& error) {
    if (bind(fd, address, length) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        error = lastError("cannot listen on " + endpoint);
        close(fd);
        return false;
    }
    listeners.push_back({fd, endpoint});
    return true;
}

bool PosixServer::openPipe(const std::string& path, std::string& error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // The abstract name is the path's bytes after a leading zero byte, without a terminator.
    if (path.empty() || path.size() > sizeof address.sun_path - 1) {
        error = "the pipe path must have 1 to " + std::to_string(sizeof address.sun_path - 1) +
                " characters";
        return false;
    }
    std::memcpy(address.sun_path + 1, path.data(), path.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = lastError("cannot create the pipe socket");
        return false;
    }
    if (!bindAndListen(fd, reinterpret_cast<const sockaddr*>(&address), length, "pipe", error)) {
        error += " (" + path + ")";
        return false;
    }
    return true;
}

std::optional<std::uint16_t> PosixServer::openTcp(bool ipv6, const std::string& host,
                                                  std::uint16_t port, std::string& error) {
    const int family = ipv6 ? AF_INET6 : AF_INET;
    const int fd = socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = lastError("cannot create a TCP socket");
        return std::nullopt;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_storage address{};
    socklen_t length = 0;
    const std::string endpoint = endpointName(ipv6);
    if (!socketAddress(ipv6, host, port, address, length)) {
        error = notAnAddress(ipv6, host);
        close(fd);
        return std::nullopt;
    }
    // A listener on "::" takes IPv6 only: IPv4 has its own.
    if (ipv6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (!bindAndListen(fd, reinterpret_cast<const sockaddr*>(&address), length, endpoint, error)) {
        return std::nullopt;
    }
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return boundPort(ipv6, address);
}

void PosixServer::waitAndServe(const StopSignal& stop) {
    const auto before = Clock::now();
    const bool accepting = before >= acceptPausedUntil;
    std::vector<pollfd> fds;
    fds.push_back({static_cast<int>(stop.waitHandle()), POLLIN, 0});
    const auto listening = static_cast<short>(accepting ? POLLIN : 0);
    for (const Listener& listener : listeners) fds.push_back({listener.fd, listening, 0});
    std::vector<std::uint32_t> order;
    const bool reading = simulator.reading();
    for (const auto& [session, link] : links) {
        const int events = (reading ? POLLIN : 0) | (link.out.empty() ? 0 : POLLOUT);
        fds.push_back({link.fd, static_cast<short>(events), 0});
        order.push_back(session);
    }
    std::optional<Clock::time_point> wake = simulator.nextWake();
    if (!accepting && (!wake || acceptPausedUntil < *wake)) wake = acceptPausedUntil;
    if (poll(fds.data(), fds.size(), pollTimeout(wake, before)) <= 0) return;

    const auto now = Clock::now();
    if (fds[0].revents != 0) stop.drain();
    for (std::size_t i = 0; i < listeners.size(); ++i) {
        if (fds[1 + i].revents & POLLIN) acceptFrom(listeners[i], now);
    }
    // Links are only closed by the caller's loop, so none goes away while these run.
    for (std::size_t i = 0; i < order.size(); ++i) {
        const short events = fds[1 + listeners.size() + i].revents;
        Link& link = links.at(order[i]);
        if (reading && (events & (POLLIN | POLLHUP | POLLERR))) readFrom(order[i], link, now);
        // A hung simulator reads nothing, yet a connection that went away must not wake it
        // again and again.
        if (!reading && (events & (POLLHUP | POLLERR))) simulator.peerClosed(order[i], "peer closed", now);
        if (events & POLLOUT) writeTo(order[i], link, now);
    }
}

void PosixServer::acceptFrom(const Listener& listener, Clock::time_point now) {
    const int fd = accept4(listener.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        // Out of descriptors the connection stays queued; waiting a little avoids spinning.
        if (errno == EMFILE || errno == ENFILE) acceptPausedUntil = now + kAcceptPause;
        return;
    }
    if (listener.endpoint != "pipe") {
        // Requests and answers are small; each should go out at once.
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    links.emplace(simulator.connect(listener.endpoint, now), Link{fd, {}});
}

void PosixServer::readFrom(std::uint32_t session, Link& link, Clock::time_point now) {
    std::uint8_t chunk[kReadChunk];
    const ssize_t n = recv(link.fd, chunk, sizeof chunk, 0);
    if (n > 0) {
        simulator.receive(session, chunk, static_cast<std::size_t>(n), now);
    } else if (n == 0) {
        simulator.peerClosed(session, "peer closed", now);
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        simulator.peerClosed(session,
                             errno == ECONNRESET ? "connection reset" : std::strerror(errno), now);
    }
}

void PosixServer::writeTo(std::uint32_t session, Link& link, Clock::time_point now) {
    while (!link.out.empty()) {
        const ssize_t n =
            send(link.fd, link.out.data(), link.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
            simulator.peerClosed(session, "write failed: " + std::string(std::strerror(errno)),
                                 now);
            link.out.clear();
            return;
        }
        link.out.erase(link.out.begin(), link.out.begin() + n);
    }
}

void PosixServer::flush(std::uint32_t session, Clock::time_point now) {
    writeTo(session, links.at(session), now);
}

bool PosixServer::closeConnection(std::uint32_t session) {
    const auto found = links.find(session);
    if (found == links.end()) return false;
    Link& link = found->second;
    // Input the client sent after the end is read away first, so that closing does not
    // reset the connection under answers it has not read yet; a client that keeps sending
    // gets a bounded share.
    std::uint8_t chunk[4096];
    for (int reads = 0; reads < 64 && recv(link.fd, chunk, sizeof chunk, MSG_DONTWAIT) > 0;
         ++reads) {
    }
    shutdown(link.fd, SHUT_RDWR);
    close(link.fd);
    links.erase(found);
    return true;
}

void PosixServer::deliverLastOutput(Clock::time_point deadline) {
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<std::uint32_t> order;
        for (const auto& [session, link] : links) {
            if (link.out.empty() || simulator.ending() == Ending::None) continue;
            fds.push_back({link.fd, POLLOUT, 0});
            order.push_back(session);
        }
        const auto now = Clock::now();
        if (fds.empty() || now >= deadline) break;
        if (poll(fds.data(), fds.size(), pollTimeout(deadline, now)) <= 0) continue;
        for (std::size_t i = 0; i < order.size(); ++i) {
            const auto found = links.find(order[i]);
            if (fds[i].revents != 0 && found != links.end())
                writeTo(order[i], found->second, Clock::now());
        }
    }
    lingerUntilClientsClose(deadline);
}

// Closing a socket that still holds unread requests resets the connection, and a client
// whose next write then fails loses the QUIT waiting in its receive buffer. So the sending
// side is shut first (the client reads what was sent, then the end) and requests are read
// away until each client closes, within the bound.
void PosixServer::lingerUntilClientsClose(Clock::time_point deadline) {
    std::vector<pollfd> open;
    for (const auto& [session, link] : links) {
        shutdown(link.fd, SHUT_WR);
        open.push_back({link.fd, POLLIN, 0});
    }
    std::uint8_t chunk[4096];
    while (!open.empty()) {
        const auto now = Clock::now();
        if (now >= deadline || poll(open.data(), open.size(), pollTimeout(deadline, now)) < 0)
            break;
        std::erase_if(open, [&](const pollfd& entry) {
            if (entry.revents == 0) return false;
            const ssize_t n = recv(entry.fd, chunk, sizeof chunk, MSG_DONTWAIT);
            return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
        });
    }
}

}  // namespace

std::unique_ptr<Server> Server::create(Simulator& simulator, std::ostream& console) {
    return std::make_unique<PosixServer>(simulator, console);
}

}  // namespace standin
