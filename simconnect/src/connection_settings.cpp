#include "connection_settings.h"

#include <cstdio>
#include <limits>

#include "connection_settings_os.h"
#include "profile_reader.h"

namespace {

constexpr const char* kConfigFileName = "SimConnect.cfg";
constexpr const char* kRegistryKey = "SOFTWARE\\Microsoft\\Microsoft Games\\KittyHawk";
constexpr std::size_t kSectionNameBuffer = 26;
constexpr std::size_t kSectionCheckBuffer = 30;
constexpr std::size_t kValueBuffer = 2048;
constexpr std::size_t kRegistryPortBuffer = 20;
constexpr std::size_t kPipePathLimit = 255;

void ApplyProtocol(ConnectionSettings& settings, const std::string& value) {
    if (EqualsIgnoringCase(value, "Auto") || EqualsIgnoringCase(value, "Pipe")) {
        settings.protocol = kProtocolPipe;
        return;
    }
    std::uint32_t family = 0;
    if (EqualsIgnoringCase(value, "IPv4")) family = kFamilyIPv4;
    if (EqualsIgnoringCase(value, "IPv6")) family = kFamilyIPv6;
    if (family == 0) return;
    settings.protocol = family;
    if (settings.port.empty()) settings.port = ReadRegistryPort(family);
}

// Applies one file's section key by key; empty or missing values change nothing.
void ApplyFile(ConnectionSettings& settings, const std::string& file, const std::string& section) {
    const auto read = [&](const char* key) {
        return settings_os::ReadProfileValue(file, section, key, kValueBuffer);
    };
    if (const std::string value = read("Protocol"); !value.empty()) ApplyProtocol(settings, value);
    if (const std::string value = read("Address"); !value.empty()) settings.address = value;
    if (const std::string value = read("Port"); !value.empty()) settings.port = value;
    if (const std::string value = read("MaxReceiveSize"); !value.empty()) {
        // The setting can raise the limit but never lower it.
        const auto size = static_cast<std::uint32_t>(ParseProfileInt(value));
        if (size > settings.maxReceiveSize) settings.maxReceiveSize = size;
    }
    if (const std::string value = read("DisableNagle"); !value.empty()) {
        settings.disableNagle = ParseProfileInt(value) != 0;
    }
}

}  // namespace

std::string ConfigSectionName(std::uint32_t configIndex) {
    if (configIndex == 0) return "SimConnect";
    char name[kSectionNameBuffer];
    std::snprintf(name, sizeof name, "SimConnect.%u", configIndex);
    return name;
}

std::vector<std::string> ConfigFileCandidates() {
    std::vector<std::string> files;
    for (const auto& folder : {settings_os::CommonDocumentsFolder(),
                               settings_os::UserDocumentsFolder(), settings_os::CurrentFolder()}) {
        if (!folder) continue;
        if (auto file = settings_os::JoinPath(*folder, kConfigFileName)) files.push_back(*file);
    }
    return files;
}

bool ConfigSectionExists(std::uint32_t configIndex) {
    for (const std::string& file : ConfigFileCandidates()) {
        if (ConfigSectionExistsIn(file, configIndex)) return true;
    }
    return false;
}

bool ConfigSectionExistsIn(const std::string& file, std::uint32_t configIndex) {
    return settings_os::ReadProfileSection(file, ConfigSectionName(configIndex), kSectionCheckBuffer);
}

ConnectionSettings LoadConnectionSettings(std::uint32_t configIndex) {
    ConnectionSettings settings;
    if (configIndex == kDefaultsOnlyIndex) return settings;
    const std::string section = ConfigSectionName(configIndex);
    for (const std::string& file : ConfigFileCandidates()) ApplyFile(settings, file, section);
    return settings;
}

std::string ReadRegistryPort(std::uint32_t family) {
    const char* value = family == kFamilyIPv6 ? "SimConnect_Port_IPv6" : "SimConnect_Port_IPv4";
    if (family != kFamilyIPv4 && family != kFamilyIPv6) return {};
    return settings_os::ReadUserRegistryText(kRegistryKey, value, kRegistryPortBuffer);
}

// Pipe first falls back to IPv6 on this machine, IPv6 on "::1" to IPv4 on "127.0.0.1",
// and IPv4 on "127.0.0.1" to the default pipe once more; any other address has no
// fallback. A fallback stage's registry port is read when the stage is reached.
std::vector<EndpointAttempt> BuildEndpointPlan(const ConnectionSettings& settings) {
    std::vector<EndpointAttempt> plan;
    std::string address = settings.address;
    std::string port = settings.port;
    bool registry = false;
    std::uint32_t stage = settings.protocol;
    if (stage == kProtocolPipe) {
        plan.push_back({TransportType::Pipe, 0, address, port});
        if (!address.empty() && address != ".") return plan;
        address = "::1";
        registry = true;
        stage = kFamilyIPv6;
    }
    if (stage == kFamilyIPv6) {
        plan.push_back({TransportType::Tcp, kFamilyIPv6, address, registry ? "" : port, registry});
        if (address != "::1") return plan;
        address = "127.0.0.1";
        registry = true;
        stage = kFamilyIPv4;
    }
    if (stage == kFamilyIPv4) {
        plan.push_back({TransportType::Tcp, kFamilyIPv4, address, registry ? "" : port, registry});
        if (address != "127.0.0.1") return plan;
        plan.push_back({TransportType::Pipe, 0, ".", ""});
    }
    return plan;
}

std::string AttemptPort(const EndpointAttempt& attempt) {
    return attempt.portFromRegistry ? ReadRegistryPort(attempt.family) : attempt.port;
}

std::string BuildPipePath(const std::string& address, const std::string& port) {
    const std::string machine = address.empty() ? "." : address;
    if (port.empty()) return "\\\\" + machine + "\\pipe\\Microsoft Flight Simulator\\SimConnect";
    std::string path = "\\\\" + machine + "\\pipe\\" + port;
    if (path.size() > kPipePathLimit) path.resize(kPipePathLimit);
    return path;
}

std::int32_t ParseProfileInt(const std::string& text) {
    std::size_t i = 0;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kLimit) value = kLimit;
    }
    if (negative) return static_cast<std::int32_t>(-value);
    return static_cast<std::int32_t>(value > kLimit - 1 ? kLimit - 1 : value);
}
