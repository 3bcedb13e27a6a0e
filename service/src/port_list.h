// The serial devices present on this machine, for the operator choosing the ports that
// rack_config.json names.
#pragma once

#include <string>
#include <vector>

struct SerialDevice {
    // The name as rack_config.json takes it, such as "ttyUSB0",
    // "/dev/serial/by-id/usb-...-if00" or "COM3".
    std::string name;
    // What the system says of it: the device a by-id link leads to, or the driver's name.
    std::string detail;
};

// Stable names first where the system has them (Linux: /dev/serial/by-id), then the
// devices themselves in natural order.
std::vector<SerialDevice> listSerialDevices();
