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

std::string probeSerialPort(const std::string& portPath, std::int32_t baudRate) {
    std::intptr_t device = serial_os::kInvalid;
    if (serial_os::open(portPath, device) != serial_os::OpenOutcome::opened)
        return serial_os::lastErrorText();
    const serial_os::ConfigureOutcome configured = serial_os::configure(device, baudRate);
    const std::string reason = configured == serial_os::ConfigureOutcome::done
                                   ? std::string()
                                   : "takes no serial settings: " + serial_os::lastErrorText();
    serial_os::close(device);
    return reason;
}

SerialPort::SerialPort(const char* portPath, std::int32_t baudRate, std::string delimiterSetName)
    : portPath_(portPath != nullptr ? portPath : ""),
      baudRate_(baudRate),
      delimiterSetName_(std::move(delimiterSetName)),
      deviceHandle_(serial_os::kInvalid) {
    open(true);
}

SerialPort::~SerialPort() {
    close();
}

void SerialPort::open(bool report) {
    connected_ = false;
    const serial_os::OpenOutcome opened = serial_os::open(portPath_, deviceHandle_);
    if (opened != serial_os::OpenOutcome::opened) openFailure_ = serial_os::lastErrorText();
    if (report && opened == serial_os::OpenOutcome::notFound)
        consolePrintf("Warning: Handle was not attached. Reason: %s not available\n",
                      portPath_.c_str());
    if (opened != serial_os::OpenOutcome::opened) return;

    const serial_os::ConfigureOutcome configured = serial_os::configure(deviceHandle_, baudRate_);
    if (configured != serial_os::ConfigureOutcome::done) {
        openFailure_ = serial_os::lastErrorText();
        if (report && configured == serial_os::ConfigureOutcome::readSettingsFailed)
            consolePrintf("Warning: Failed to get current serial params");
        else if (report)
            consolePrintf("Warning: could not set serial port params\n");
        // Until it is opened again the device is no use, so it is given back at once
        // rather than held.
        serial_os::close(deviceHandle_);
        deviceHandle_ = serial_os::kInvalid;
        return;
    }
    // The delimiter file is read once, by the first open that succeeds.
    if (!delimitersLoaded_) loadDelimiters(delimiterSetName_);
    delimitersLoaded_ = true;
    serial_os::purge(deviceHandle_);
    openFailure_.clear();
    connected_ = true;
}

bool SerialPort::reopen() {
    if (!connected_) open(false);
    return connected_;
}

void SerialPort::refreshStatus() {
    if (!connected_) {
        lineStatus_ = {};
        return;
    }
    if (serial_os::queryStatus(deviceHandle_, lineStatus_) == serial_os::IoOutcome::gone) close();
}

bool SerialPort::readBytes(void* buffer, std::uint32_t count, std::uint32_t& transferred) {
    transferred = 0;
    if (!connected_) {
        idle();
        return false;
    }
    const serial_os::IoOutcome outcome = serial_os::read(deviceHandle_, buffer, count, transferred);
    // A device that went away is closed; the owner may open its path again later.
    if (outcome == serial_os::IoOutcome::gone) close();
    return outcome == serial_os::IoOutcome::done;
}

bool SerialPort::writeBytes(const void* buffer, std::uint32_t count) {
    if (!connected_) {
        idle();
        return false;
    }
    const serial_os::IoOutcome outcome = serial_os::write(deviceHandle_, buffer, count);
    if (outcome == serial_os::IoOutcome::done) return true;
    if (outcome == serial_os::IoOutcome::gone) {
        close();
    } else {
        refreshStatus();
    }
    return false;
}

void SerialPort::waitForInput(std::chrono::steady_clock::time_point deadline) {
    if (connected_) serial_os::waitForInput(deviceHandle_, deadline);
}

void SerialPort::purge() {
    if (connected_) serial_os::purge(deviceHandle_);
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
