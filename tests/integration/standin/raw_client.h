// A client socket that speaks bytes, not the library: for sending what a sound client
// never would and reading exactly what the stand-in sends. The connection is the peer
// helper's, so its bounded reads serve the client's end too.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>
#include <string>

#include "tests/support/loopback_peer.h"
#include "tests/support/request_bytes.h"

namespace wirebytes {

using loopback_peer::Connection;

inline Connection connectTo(int family, const sockaddr* address, socklen_t length) {
    Connection client(socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (connect(client.fd(), address, length) != 0) client.Close();
    return client;
}

// The abstract Unix socket named by the pipe path.
inline Connection connectPipe(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, path.data(), path.size());
    return connectTo(AF_UNIX, reinterpret_cast<sockaddr*>(&address),
                     static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size()));
}

inline Connection connectTcp(int family, int port) {
    sockaddr_in6 v6{};
    sockaddr_in v4{};
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(static_cast<std::uint16_t>(port));
    v6.sin6_addr = in6addr_loopback;
    v4.sin_family = AF_INET;
    v4.sin_port = htons(static_cast<std::uint16_t>(port));
    v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (family == AF_INET6) return connectTo(family, reinterpret_cast<sockaddr*>(&v6), sizeof v6);
    return connectTo(family, reinterpret_cast<sockaddr*>(&v4), sizeof v4);
}

}  // namespace wirebytes
