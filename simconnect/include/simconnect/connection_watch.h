// What an application of this library can learn of its connection beyond the published
// functions: where it will look for the simulator (nothing here connects), which endpoint
// it reached, and, on POSIX, the interface that stands for the window and event given to
// SimConnect_Open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "simconnect/SimConnect.h"

// Where the client library will look for the simulator: the configuration files it reads
// and the endpoints SimConnect_Open tries, in their order.
struct PlannedConfigFile {
    std::string path;
    bool hasSection = false;  // the file has the section of the configuration index
};

struct PlannedEndpoint {
    enum class Kind { pipe, ipv4, ipv6 };
    Kind kind = Kind::pipe;
    std::string address;  // the pipe's path, or the TCP host
    std::string port;     // the TCP port as it reads now; empty when none is known
    bool portFromRegistry = false;  // read from the simulator's registry when tried
};

struct ConnectionPlan {
    std::vector<PlannedConfigFile> configFiles;  // in the order they apply
    std::vector<PlannedEndpoint> endpoints;      // in the order they are tried
};

// The plan that SimConnect_Open with `configIndex` would follow now.
ConnectionPlan DescribeConnectionPlan(std::uint32_t configIndex);

// An endpoint of the plan as a person would name it, as DescribeEndpoint names the one
// reached: "pipe \\.\pipe\NAME", "TCP 192.168.1.20:500", "TCP [::1]:(the port the
// simulator registered: none yet)".
std::string DescribePlannedEndpoint(const PlannedEndpoint& endpoint);

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
