#include "testing/loopback_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "base/little_endian.h"

namespace loopback_peer {

namespace {

using Clock = std::chrono::steady_clock;

// Waits until `fd` is readable or the deadline passes.
bool WaitReadable(int fd, Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    if (left < 0) return false;
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, static_cast<int>(left)) > 0;
}

// Reads into `bytes` until the other side closes (true) or `timeout` passes (false).
bool ReadToEnd(int fd, milliseconds timeout, Bytes& bytes) {
    const auto deadline = Clock::now() + timeout;
    std::uint8_t chunk[4096];
    while (WaitReadable(fd, deadline)) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) return true;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return false;
}

}  // namespace

Connection::~Connection() {
    Close();
}

Connection& Connection::operator=(Connection&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

Bytes Connection::Read(std::size_t count, milliseconds timeout) {
    Bytes bytes(count);
    std::size_t got = 0;
    const auto deadline = Clock::now() + timeout;
    while (got < count && WaitReadable(fd_, deadline)) {
        const ssize_t n = ::recv(fd_, bytes.data() + got, count - got, 0);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

Bytes Connection::ReadMessage(milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    Bytes header = Read(4, timeout);
    if (header.size() < 4) return {};
    const std::uint32_t length = U32At(header, 0);
    if (length < 4) return header;
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    Bytes rest = Read(length - 4, left);
    if (rest.size() != length - 4) return {};
    header.insert(header.end(), rest.begin(), rest.end());
    return header;
}

Bytes Connection::ReadUntilClosed(milliseconds timeout) {
    Bytes bytes;
    ReadToEnd(fd_, timeout, bytes);
    return bytes;
}

bool Connection::WaitClosed(milliseconds timeout) {
    Bytes ignored;
    return ReadToEnd(fd_, timeout, ignored);
}

bool Connection::Write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::send(fd_, bytes, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void Connection::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void Connection::CloseWithReset() {
    const linger hard{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    Close();
}

std::optional<Listener> Listener::Listen(int fd, int port, int backlog) {
    if (::listen(fd, backlog) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    return Listener(fd, port);
}

std::optional<Listener> Listener::Pipe(const std::string& pipePath, int backlog) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (pipePath.size() > sizeof address.sun_path - 1) return std::nullopt;
    std::memcpy(address.sun_path + 1, pipePath.data(), pipePath.size());
    const auto length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + pipePath.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::nullopt;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    return Listen(fd, 0, backlog);
}

std::optional<Listener> Listener::Tcp(bool ipv6) {
    const int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::nullopt;
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (ipv6) {
        auto& address = reinterpret_cast<sockaddr_in6&>(storage);
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_loopback;
        length = sizeof address;
    } else {
        auto& address = reinterpret_cast<sockaddr_in&>(storage);
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof address;
    }
    auto* generic = reinterpret_cast<sockaddr*>(&storage);
    if (::bind(fd, generic, length) != 0 || ::getsockname(fd, generic, &length) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    const int port = ipv6 ? ntohs(reinterpret_cast<sockaddr_in6&>(storage).sin6_port)
                          : ntohs(reinterpret_cast<sockaddr_in&>(storage).sin_port);
    return Listen(fd, port, 16);
}

Listener::~Listener() {
    if (fd_ >= 0) ::close(fd_);
}

Listener& Listener::operator=(Listener&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        port_ = other.port_;
        other.fd_ = -1;
    }
    return *this;
}

std::optional<Connection> Listener::Accept(milliseconds timeout) {
    if (!WaitReadable(fd_, Clock::now() + timeout)) return std::nullopt;
    const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return std::nullopt;
    return std::optional<Connection>(std::in_place, fd);
}

std::string UniquePipeName(const std::string& tag) {
    static std::atomic<int> counter{0};
    return "orvendale-test-" + tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

std::uint32_t U32At(const Bytes& bytes, std::size_t offset) {
    if (offset + 4 > bytes.size()) return 0;
    return LoadU32(&bytes[offset]);
}

Bytes MakeMessage(std::uint32_t id, const std::vector<std::uint32_t>& fields) {
    std::vector<std::uint32_t> words = {static_cast<std::uint32_t>(12 + 4 * fields.size()), 5, id};
    words.insert(words.end(), fields.begin(), fields.end());
    Bytes bytes(4 * words.size());
    for (std::size_t i = 0; i < words.size(); ++i) StoreU32(&bytes[4 * i], words[i]);
    return bytes;
}

}  // namespace loopback_peer
