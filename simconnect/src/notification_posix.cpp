#include <atomic>

#include "notification.h"

namespace {
std::atomic<NotificationSink*> installedSink{nullptr};
}

NotificationSink* SetNotificationSink(NotificationSink* sink) {
    return installedSink.exchange(sink);
}

namespace notification_os {

void PostWindowMessage(HWND window, std::uint32_t message) {
    if (NotificationSink* sink = installedSink.load()) sink->PostWindowMessage(window, message);
}

void SignalEvent(HANDLE event) {
    if (NotificationSink* sink = installedSink.load()) sink->SignalEvent(event);
}

}  // namespace notification_os
