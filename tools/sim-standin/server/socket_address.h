// The address a TCP listener binds, from its text. POSIX and Windows Sockets offer the same
// calls and structures under different headers: each system's server includes its own
// socket headers and then this one, so that the address is made in one place.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace standin {

// "127.0.0.1", "0.0.0.0" or another IPv4 address when `ipv6` is false; "::1", "::" or
// another IPv6 address when it is true. False when the text is no such address.
template <typename Length>
bool socketAddress(bool ipv6, const std::string& text, std::uint16_t port,
                   sockaddr_storage& address, Length& length) {
    std::memset(&address, 0, sizeof address);
    if (ipv6) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        length = sizeof *v6;
        return inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1;
    }
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    length = sizeof *v4;
    return inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1;
}

}  // namespace standin
