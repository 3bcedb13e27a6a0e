#include "serial/serial_port.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <utility>

#include "console/console.h"
#include "serial_port_os.h"

namespace {

// A port that never opened idles: each transfer waits this long and fails, so a rack whose
// board is missing costs one attempt per second and never touches a device.
constexpr auto kIdleWait = std::chrono::milliseconds(1000);

void idle() {
    std::this_thread::sleep_for(kIdleWait);
}

}  // namespace

SerialPort::SerialPort(const char* portPath, std::int32_t baudRate, std::string delimiterSetName)
    : deviceHandle_(serial_os::kInvalid) {
    open(portPath, baudRate, std::move(delimiterSetName));
}

SerialPort::~SerialPort() {
    close();
}

void SerialPort::open(const char* portPath, std::int32_t baudRate, std::string delimiterSetName) {
    delimiters_.name.clear();
    connected_ = false;
    const std::string path = portPath != nullptr ? portPath : "";
    const serial_os::OpenOutcome opened = serial_os::open(path, deviceHandle_);
    if (opened == serial_os::OpenOutcome::notFound)
        consolePrintf("Warning: Handle was not attached. Reason: %s not available\n", path.c_str());
    if (opened != serial_os::OpenOutcome::opened) return;

    const serial_os::ConfigureOutcome configured = serial_os::configure(deviceHandle_, baudRate);
    if (configured != serial_os::ConfigureOutcome::done) {
        if (configured == serial_os::ConfigureOutcome::readSettingsFailed)
            consolePrintf("Warning: Failed to get current serial params");
        else
            consolePrintf("Warning: could not set serial port params\n");
        // The port is never used again, so the device is given back at once rather than
        // held until the process ends.
        serial_os::close(deviceHandle_);
        deviceHandle_ = serial_os::kInvalid;
        return;
    }
    loadDelimiters(std::move(delimiterSetName));
    serial_os::purge(deviceHandle_);
    connected_ = true;
}

void SerialPort::refreshStatus() {
    serial_os::queryStatus(deviceHandle_, lineStatus_, lineErrors_);
}

bool SerialPort::readBytes(void* buffer, std::uint32_t count, std::uint32_t& transferred) {
    transferred = 0;
    if (!connected_) {
        idle();
        return false;
    }
    return serial_os::read(deviceHandle_, buffer, count, transferred);
}

bool SerialPort::writeBytes(const void* buffer, std::uint32_t count) {
    if (!connected_) {
        idle();
        return false;
    }
    if (serial_os::write(deviceHandle_, buffer, count)) return true;
    refreshStatus();
    return false;
}

void SerialPort::waitForInput(std::chrono::steady_clock::time_point deadline) {
    if (connected_) serial_os::waitForInput(deviceHandle_, deadline);
}

void SerialPort::close() {
    if (!connected_) return;
    connected_ = false;
    serial_os::close(deviceHandle_);
    deviceHandle_ = serial_os::kInvalid;
}

void SerialPort::loadDelimiters(std::string name) {
    loadDelimiterSet(kDelimiterFileName, name, delimiters_);
}
