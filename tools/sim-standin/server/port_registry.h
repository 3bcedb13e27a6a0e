// Publishes the stand-in's TCP ports where clients look for the simulator's: the values
// SimConnect_Port_IPv4 and SimConnect_Port_IPv6 of the key
// SOFTWARE\Microsoft\Microsoft Games\KittyHawk. On POSIX the key is a section of the INI
// file $HOME/.config/orvendale/registry.ini; other content of the file is kept.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace standin {

constexpr std::string_view kSimulatorKey = "SOFTWARE\\Microsoft\\Microsoft Games\\KittyHawk";
constexpr std::string_view kPortIPv4 = "SimConnect_Port_IPv4";
constexpr std::string_view kPortIPv6 = "SimConnect_Port_IPv6";

using IniValues = std::vector<std::pair<std::string, std::string>>;

// INI text with the section's values set: existing keys are replaced in place (names
// compared without regard to case), new ones are added at the end of the section, and a
// missing section is added at the end of the text.
std::string setIniValues(std::string_view text, std::string_view section, const IniValues& values);
// INI text without the section's keys that still hold the given values; a section left
// empty goes too.
std::string removeIniValues(std::string_view text, std::string_view section,
                            const IniValues& values);

class PortRegistry {
public:
    PortRegistry() = default;
    ~PortRegistry() { withdraw(); }
    PortRegistry(const PortRegistry&) = delete;
    PortRegistry& operator=(const PortRegistry&) = delete;

    // Writes the ports that are set; false with the reason when they cannot be written.
    bool publish(std::optional<std::uint16_t> ipv4, std::optional<std::uint16_t> ipv6,
                 std::string& error);
    // Removes what publish wrote, unless another simulator has written its own ports since.
    void withdraw();

private:
    // Writes the values where clients read them and remembers what it wrote.
    bool store(const IniValues& values, std::string& error);

    IniValues published_;
    std::string location_;  // the registry file, where it is one
};

}  // namespace standin
