// The system's side of telling the service manager: supervisor_<os>.cpp.
#pragma once

#include <string>

namespace supervisor_os {

// Sends one notification message; does nothing when no manager listens.
void send(const std::string& message);

}  // namespace supervisor_os
