// A client socket that speaks bytes, not the library: for sending what a sound client
// never would and reading exactly what the stand-in sends.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>

#include "tests/integration/standin/request_bytes.h"

namespace standin_test {

class RawClient {
public:
    // The abstract Unix socket named by the pipe path.
    static RawClient pipe(const std::string& path) {
        RawClient client(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + 1, path.data(), path.size());
        const auto length =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
        client.connected_ = connect(client.fd_, reinterpret_cast<sockaddr*>(&address), length) == 0;
        return client;
    }

    static RawClient tcp(int family, int port) {
        RawClient client(socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_storage address{};
        socklen_t length = 0;
        if (family == AF_INET6) {
            auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
            v6->sin6_family = AF_INET6;
            v6->sin6_port = htons(static_cast<std::uint16_t>(port));
            v6->sin6_addr = in6addr_loopback;
            length = sizeof *v6;
        } else {
            auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
            v4->sin_family = AF_INET;
            v4->sin_port = htons(static_cast<std::uint16_t>(port));
            v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof *v4;
        }
        client.connected_ = connect(client.fd_, reinterpret_cast<sockaddr*>(&address), length) == 0;
        return client;
    }

    RawClient(RawClient&& other) noexcept : fd_(other.fd_), connected_(other.connected_) {
        other.fd_ = -1;
    }
    ~RawClient() {
        if (fd_ >= 0) close(fd_);
    }

    bool connected() const { return connected_; }
    bool send(const Bytes& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    void closeWrite() { shutdown(fd_, SHUT_WR); }

    // Reads until `count` whole messages have come, the peer closes, or the time is up.
    std::vector<Bytes> receive(std::size_t count, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (splitMessages(stream_).size() < count && !closed_) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !readSome(static_cast<int>(left.count()))) break;
        }
        return splitMessages(stream_);
    }
    // True when the peer closes within the time (reading and keeping what comes before).
    bool waitClosed(std::chrono::milliseconds timeout) {
        receive(static_cast<std::size_t>(-1), timeout);
        return closed_;
    }

private:
    explicit RawClient(int fd) : fd_(fd) {}

    bool readSome(int timeoutMs) {
        pollfd fds{fd_, POLLIN, 0};
        if (poll(&fds, 1, timeoutMs) <= 0) return false;
        std::uint8_t chunk[4096];
        const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) {
            closed_ = true;
            return false;
        }
        stream_.insert(stream_.end(), chunk, chunk + n);
        return true;
    }

    int fd_ = -1;
    bool connected_ = false;
    bool closed_ = false;
    Bytes stream_;
};

}  // namespace standin_test
