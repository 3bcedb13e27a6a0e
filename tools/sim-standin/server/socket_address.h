// The address a TCP listener binds, from its text, what a listener says when it cannot take
// it, and the port it was bound to. POSIX and Windows Sockets offer the same calls and
// structures under different headers: each system's server includes its own socket headers
// and then this one, so that this is written in one place.
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

// The endpoint's name in the server's lines: "ipv4" or "ipv6".
inline std::string endpointName(bool ipv6) {
    return ipv6 ? "ipv6" : "ipv4";
}

// Why a listener cannot take `text`: it is no address of the endpoint's kind.
inline std::string notAnAddress(bool ipv6, const std::string& text) {
    return "cannot listen on " + endpointName(ipv6) + ": " + text + " is not an " +
           (ipv6 ? "IPv6" : "IPv4") + " address";
}

// The port a listener was bound to, from the address that getsockname filled in.
inline std::uint16_t boundPort(bool ipv6, const sockaddr_storage& address) {
    const auto port = ipv6 ? reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port
                           : reinterpret_cast<const sockaddr_in*>(&address)->sin_port;
    return ntohs(port);
}

}  // namespace standin
