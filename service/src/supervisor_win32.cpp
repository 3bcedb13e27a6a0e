// Windows starts the service from a console, the simulator's start list or a shortcut:
// no service manager listens for notifications.
#include "supervisor_os.h"

namespace supervisor_os {

void send(const std::string&) {}

}  // namespace supervisor_os
