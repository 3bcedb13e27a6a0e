#include "port_list.h"

#include <algorithm>
#include <cctype>
#include <tuple>

#include "port_list_os.h"

namespace {

// A name split into its text and the number it ends with: "ttyS2" sorts before "ttyS10".
std::tuple<std::string, unsigned long, std::string> naturalKey(const std::string& name) {
    std::size_t at = name.size();
    while (at > 0 && std::isdigit(static_cast<unsigned char>(name[at - 1]))) --at;
    const std::string digits = name.substr(at);
    const unsigned long number = digits.empty() || digits.size() > 9 ? 0 : std::stoul(digits);
    return {name.substr(0, at), number, digits};
}

}  // namespace

std::vector<SerialDevice> listSerialDevices() {
    std::vector<SerialDevice> found = port_list_os::stableNames();
    std::sort(found.begin(), found.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return a.name < b.name; });
    std::vector<SerialDevice> devices = port_list_os::devices();
    std::sort(devices.begin(), devices.end(), [](const SerialDevice& a, const SerialDevice& b) {
        return naturalKey(a.name) < naturalKey(b.name);
    });
    found.insert(found.end(), devices.begin(), devices.end());
    return found;
}
