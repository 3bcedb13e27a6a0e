// The system's side of listing serial devices, in port_list_<os>.cpp.
#pragma once

#include <vector>

#include "port_list.h"

namespace port_list_os {

// Names that stay the same whichever order the boards are plugged in; none where the
// system has no such names.
std::vector<SerialDevice> stableNames();
// The serial devices themselves.
std::vector<SerialDevice> devices();

}  // namespace port_list_os
