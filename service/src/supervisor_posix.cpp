// systemd's notification protocol: one datagram of "NAME=value" lines to the local socket
// that NOTIFY_SOCKET names (a path, or an abstract name when it starts with '@'). The
// protocol is small and stable, and sending it here keeps the programs free of a library
// that the Windows build and the cross builds would have to carry.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "supervisor_os.h"

namespace supervisor_os {

void send(const std::string& message) {
    const char* target = std::getenv("NOTIFY_SOCKET");
    if (target == nullptr) return;
    const std::size_t length = std::strlen(target);
    sockaddr_un address{};
    if (length < 2 || length >= sizeof address.sun_path || (target[0] != '/' && target[0] != '@'))
        return;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, target, length);
    if (target[0] == '@') address.sun_path[0] = '\0';
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    // A manager that went away is no reason to stop serving the racks: the result is not
    // looked at.
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length);
    sendto(fd, message.data(), message.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address), size);
    close(fd);
}

}  // namespace supervisor_os
