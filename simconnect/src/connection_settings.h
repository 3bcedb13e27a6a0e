// How to reach the simulator: the settings read from up to three "SimConnect.cfg" files
// and the simulator's registry values, and the ordered plan of endpoints that opening a
// session tries until one connects.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "transport_type.h"

constexpr std::uint32_t kProtocolPipe = 1;
constexpr std::uint32_t kFamilyIPv4 = 2;
constexpr std::uint32_t kFamilyIPv6 = 23;
constexpr std::uint32_t kDefaultMaxReceiveSize = 41088;
// This index reads no file: the defaults only.
constexpr std::uint32_t kDefaultsOnlyIndex = 0xFFFFFFFFu;

struct ConnectionSettings {
    std::uint32_t protocol = kProtocolPipe;  // 1 pipe first, 2 TCP over IPv4, 23 over IPv6
    std::string address;  // TCP host; for the pipe the machine name (empty or "." is this one)
    std::string port;     // TCP service; for the pipe the pipe name (empty is the default)
    std::uint32_t maxReceiveSize = kDefaultMaxReceiveSize;
    bool disableNagle = false;
};

struct EndpointAttempt {
    TransportType transport = TransportType::Pipe;
    std::uint32_t family = 0;     // 0 for the pipe, 2 or 23 for TCP
    std::string address;
    std::string port;
    // A fallback stage connects to the port the simulator registered for its family, read
    // when the stage is reached: the simulator may publish it while earlier stages wait.
    bool portFromRegistry = false;
};

// "SimConnect" for index 0, "SimConnect.<n>" otherwise.
std::string ConfigSectionName(std::uint32_t configIndex);

// The configuration files in the order they apply; a later one overrides an earlier one.
std::vector<std::string> ConfigFileCandidates();

bool ConfigSectionExists(std::uint32_t configIndex);
bool ConfigSectionExistsIn(const std::string& file, std::uint32_t configIndex);
ConnectionSettings LoadConnectionSettings(std::uint32_t configIndex);
// The simulator's published TCP port for family 2 or 23, or empty text.
std::string ReadRegistryPort(std::uint32_t family);
std::vector<EndpointAttempt> BuildEndpointPlan(const ConnectionSettings& settings);
// The port an attempt connects to, as of now. A TCP attempt whose port is empty is
// skipped.
std::string AttemptPort(const EndpointAttempt& attempt);

// The Windows pipe path for a machine name and pipe name; the default pipe when the
// name is empty.
std::string BuildPipePath(const std::string& address, const std::string& port);

// Decimal text as the Windows profile functions convert it: optional sign and digits,
// 0 when the text does not start with a number, saturated at the 32-bit signed range.
std::int32_t ParseProfileInt(const std::string& text);
