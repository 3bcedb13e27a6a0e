// What the service tells the service manager that started it (systemd's notification
// protocol): when it is ready, and a line a person reads in "systemctl status". Where no
// manager asked for it (NOTIFY_SOCKET unset, or Windows), nothing is sent.
#pragma once

#include <string>

namespace supervisor {

// The service is ready: connected, every rack's thread started. `status` says how it is.
void ready(const std::string& status);
// How the service is now, one line.
void status(const std::string& status);
// The service is on its way out.
void stopping(const std::string& status);

}  // namespace supervisor
