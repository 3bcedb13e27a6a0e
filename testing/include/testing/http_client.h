// A plain HTTP client over one TCP socket, for the monitor's tests: whole requests written
// as given, answers read until the server closes or a bound passes, and streams that are
// held open without being read.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace monitortest {

class Socket {
public:
    // Connects to 127.0.0.1:port; valid() tells whether it did. `receiveBuffer` > 0 makes
    // the socket's receive buffer that small, so that a client that never reads stalls
    // its sender soon.
    explicit Socket(std::uint16_t port, int receiveBuffer = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (receiveBuffer > 0)
            setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~Socket() {
        if (fd_ >= 0) ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool valid() const { return fd_ >= 0; }
    bool send(const std::string& bytes) {
        std::size_t at = 0;
        while (at < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
            if (n <= 0) return false;
            at += static_cast<std::size_t>(n);
        }
        return true;
    }
    // Reads until `needle` has arrived, the peer closed, or `timeout` passed; what was read
    // so far, all of it.
    std::string readUntil(const std::string& needle, std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (needle.empty() || received_.find(needle) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            char chunk[4096];
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) break;
            received_.append(chunk, static_cast<std::size_t>(n));
        }
        return received_;
    }
    std::string readAll(std::chrono::milliseconds timeout) { return readUntil("", timeout); }

private:
    int fd_ = -1;
    std::string received_;
};

// One request on a connection of its own; the whole answer, read until the server closes
// (the request asks it to) or `timeout` passes.
inline std::string fetch(std::uint16_t port, const std::string& request,
                         std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    Socket socket(port);
    if (!socket.valid() || !socket.send(request)) return {};
    return socket.readAll(timeout);
}

inline std::string get(std::uint16_t port, const std::string& path) {
    return fetch(port, "GET " + path + " HTTP/1.1\r\nHost: monitor\r\nConnection: close\r\n\r\n");
}

// The body of an answer: what follows the blank line after its header.
inline std::string bodyOf(const std::string& answer) {
    const auto at = answer.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : answer.substr(at + 4);
}

inline std::string statusLine(const std::string& answer) {
    return answer.substr(0, answer.find("\r\n"));
}

}  // namespace monitortest
