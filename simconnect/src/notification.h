// Telling the application that messages arrived: a window message and/or an event, as
// given at open. On Windows these are PostMessageA and SetEvent. The POSIX build has no
// window system; there a NotificationSink (simconnect/connection_watch.h) installed by the
// process receives the same calls, and without one nothing happens.
#pragma once

#include <cstdint>

#include "simconnect/SimConnect.h"
#include "simconnect/connection_watch.h"

struct NotifyTarget {
    HWND window = nullptr;
    std::uint32_t message = 0;
    HANDLE event = nullptr;
};

// Posts to the window when both window and message are set, and sets the event when one
// is given.
void NotifyApplication(const NotifyTarget& target);

namespace notification_os {
void PostWindowMessage(HWND window, std::uint32_t message);
void SignalEvent(HANDLE event);
}  // namespace notification_os
