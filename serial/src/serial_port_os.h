// The operating system's side of a serial port: the few calls SerialPort needs, each
// system implementing them in serial_port_<os>.cpp. A device is a small integer handle
// (a file descriptor, or a Windows handle's value).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "serial/serial_port.h"

namespace serial_os {

constexpr std::intptr_t kInvalid = -1;

enum class OpenOutcome { opened, notFound, refused };
enum class ConfigureOutcome { done, readSettingsFailed, applySettingsFailed };
// A transfer that failed because the device went away (a board unplugged) is `gone`.
enum class IoOutcome { done, failed, gone };

// Opens the device for exclusive use; `device` is kInvalid unless the outcome is opened.
OpenOutcome open(const std::string& portPath, std::intptr_t& device);
// Sets 8N1 at `baudRate` with DTR raised, keeping the driver's flow-control settings,
// and makes reads return within 1 ms.
ConfigureOutcome configure(std::intptr_t device, std::int32_t baudRate);
// Discards whatever the driver holds in both directions.
void purge(std::intptr_t device);
IoOutcome queryStatus(std::intptr_t device, SerialLineStatus& status);
IoOutcome read(std::intptr_t device, void* buffer, std::uint32_t count, std::uint32_t& transferred);
IoOutcome write(std::intptr_t device, const void* buffer, std::uint32_t count);
void waitForInput(std::intptr_t device, std::chrono::steady_clock::time_point deadline);
void close(std::intptr_t device);
// The system's words for the error of the call that just failed, with a hint where the
// cure is known.
std::string lastErrorText();

}  // namespace serial_os
