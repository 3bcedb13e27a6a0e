// The simulator's side of a connection, for tests and benchmarks: a listener on a pipe
// (the abstract Unix socket of a pipe path) or on TCP loopback, and the accepted
// connection with bounded reads. POSIX only.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace loopback_peer {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

class Connection {
public:
    explicit Connection(int fd) : fd_(fd) {}
    ~Connection();
    Connection(Connection&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Connection& operator=(Connection&& other) noexcept;
    Connection(const Connection&) = delete;

    // Exactly `count` bytes, or what arrived before the peer closed or `timeout` passed.
    Bytes Read(std::size_t count, milliseconds timeout = milliseconds(5000));
    // One length-framed message; empty when none came whole in time.
    Bytes ReadMessage(milliseconds timeout = milliseconds(5000));
    // Whatever arrives until the other side closes or `timeout` passes.
    Bytes ReadUntilClosed(milliseconds timeout = milliseconds(5000));
    // True when the other side closed within `timeout` (nothing more to read).
    bool WaitClosed(milliseconds timeout = milliseconds(5000));
    bool Write(const void* data, std::size_t size);
    bool Write(const Bytes& bytes) { return Write(bytes.data(), bytes.size()); }
    void Close();
    // Closes so that the other side sees a reset rather than an orderly end.
    void CloseWithReset();
    int fd() const { return fd_; }

private:
    int fd_;
};

class Listener {
public:
    // Listens on the abstract socket named by the pipe path text.
    static std::optional<Listener> Pipe(const std::string& pipePath, int backlog = 16);
    // Listens on loopback (127.0.0.1, or ::1 when `ipv6`) on a port the system picks.
    static std::optional<Listener> Tcp(bool ipv6 = false);

    ~Listener();
    Listener(Listener&& other) noexcept : fd_(other.fd_), port_(other.port_) { other.fd_ = -1; }
    Listener& operator=(Listener&& other) noexcept;
    Listener(const Listener&) = delete;

    std::optional<Connection> Accept(milliseconds timeout = milliseconds(5000));
    std::string Port() const { return std::to_string(port_); }
    int fd() const { return fd_; }

private:
    static std::optional<Listener> Listen(int fd, int port, int backlog);
    Listener(int fd, int port) : fd_(fd), port_(port) {}
    int fd_;
    int port_;
};

// A pipe name of its own for each call, for tests that must not share a pipe.
std::string UniquePipeName(const std::string& tag);

// Little-endian field of a message.
std::uint32_t U32At(const Bytes& bytes, std::size_t offset);
// A received message with the given header and 32-bit body fields.
Bytes MakeMessage(std::uint32_t id, const std::vector<std::uint32_t>& fields);

}  // namespace loopback_peer
