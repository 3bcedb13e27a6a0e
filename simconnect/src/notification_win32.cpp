// Windows notification: the application's window gets its message posted, its event set.
#include <windows.h>

#include "notification.h"

// Windows programs are told through their own window and event; there is no sink here.
NotificationSink* SetNotificationSink(NotificationSink*) {
    return nullptr;
}

namespace notification_os {

void PostWindowMessage(HWND window, std::uint32_t message) {
    PostMessageA(window, message, 0, 0);
}

void SignalEvent(HANDLE event) {
    SetEvent(event);
}

}  // namespace notification_os
