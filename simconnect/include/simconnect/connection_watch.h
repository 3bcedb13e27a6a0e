// What an application of this library can learn of its connection beyond the published
// functions: which endpoint it reached, and, on POSIX, the interface that stands for the
// window and event given to SimConnect_Open.
#pragma once

#include <cstdint>
#include <string>

#include "simconnect/SimConnect.h"

// The endpoint the handle's connection reached, as a person would name it: the pipe's path
// (\\.\pipe\...), or "TCP host:port". Empty for a null handle.
std::string DescribeEndpoint(HANDLE hSimConnect);

// Receives what Windows delivers to the window and the event given to SimConnect_Open:
// once per message that arrives and once for the failure that ends a connection. The
// POSIX build has no window system, so an installed sink gets both calls there (on a
// library thread; it must not call the library). On Windows the window and the event
// themselves are told and no sink is used.
class NotificationSink {
public:
    virtual ~NotificationSink() = default;
    virtual void PostWindowMessage(HWND window, std::uint32_t message) = 0;
    virtual void SignalEvent(HANDLE event) = 0;
};

// Installs the sink (null removes it); returns the previous one. Has effect on POSIX only.
NotificationSink* SetNotificationSink(NotificationSink* sink);
