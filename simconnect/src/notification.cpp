#include "notification.h"

void NotifyApplication(const NotifyTarget& target) {
    if (target.window != nullptr && target.message != 0) {
        notification_os::PostWindowMessage(target.window, target.message);
    }
    if (target.event != nullptr) notification_os::SignalEvent(target.event);
}
