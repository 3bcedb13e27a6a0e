// Linux: the links of /dev/serial/by-id, which keep their name whichever order the boards
// are plugged in, then the USB, ACM, on-board UART and 16550 devices that exist.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "port_list_os.h"

namespace port_list_os {

namespace {

namespace fs = std::filesystem;

const std::string kDeviceKinds[] = {"ttyUSB", "ttyACM", "ttyAMA", "ttyS"};

// The kernel makes a ttyS node for every 16550 it might have; one whose type is 0 has no
// UART behind it.
bool uartPresent(const std::string& name) {
    std::ifstream type("/sys/class/tty/" + name + "/type");
    int value = 0;
    if (!(type >> value)) return true;
    return value != 0;
}

bool isDeviceName(const std::string& name) {
    for (const std::string& kind : kDeviceKinds) {
        if (name.size() <= kind.size() || name.compare(0, kind.size(), kind) != 0) continue;
        const auto number = name.begin() + static_cast<std::ptrdiff_t>(kind.size());
        if (!std::all_of(number, name.end(),
                         [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }))
            continue;
        return kind != "ttyS" || uartPresent(name);
    }
    return false;
}

}  // namespace

std::vector<SerialDevice> stableNames() {
    std::vector<SerialDevice> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/dev/serial/by-id", error)) {
        std::error_code broken;
        const fs::path target = fs::canonical(entry.path(), broken);
        found.push_back({entry.path().string(), broken ? "(no device)" : target.string()});
    }
    return found;
}

std::vector<SerialDevice> devices() {
    std::vector<SerialDevice> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/dev", error)) {
        const std::string name = entry.path().filename().string();
        if (isDeviceName(name)) found.push_back({name, entry.path().string()});
    }
    return found;
}

}  // namespace port_list_os
