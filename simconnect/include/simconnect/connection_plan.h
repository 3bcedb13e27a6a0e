// Where the client library will look for the simulator, for a person or a tool to read
// before any connection is tried: the configuration files it reads and the endpoints that
// SimConnect_Open tries, in their order. Nothing here connects.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// "pipe \\.\pipe\NAME", "IPv4 192.168.1.20 port 500", "IPv6 ::1 port (from the
// simulator's registry: none yet)".
std::string DescribeEndpoint(const PlannedEndpoint& endpoint);
