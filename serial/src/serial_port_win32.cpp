// Serial devices on Windows: the COM device opened for exclusive, synchronous use, the
// line set through its DCB, reads bounded by the communication time-outs.
#include <windows.h>

#include <string>

#include "serial_port_os.h"

namespace serial_os {

namespace {

HANDLE handleOf(std::intptr_t device) {
    return reinterpret_cast<HANDLE>(device);
}

// The errors USB-serial drivers give once their device is unplugged: they differ from
// driver to driver.
bool gone(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_NOT_READY:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED:
        case ERROR_IO_DEVICE:
        case ERROR_FILE_NOT_FOUND:
            return true;
        default:
            return false;
    }
}

IoOutcome failure() {
    return gone(GetLastError()) ? IoOutcome::gone : IoOutcome::failed;
}

}  // namespace

OpenOutcome open(const std::string& portPath, std::intptr_t& device) {
    // Share mode 0: a port held by another program is refused rather than shared.
    const HANDLE opened = CreateFileA(portPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        device = kInvalid;
        return GetLastError() == ERROR_FILE_NOT_FOUND ? OpenOutcome::notFound
                                                      : OpenOutcome::refused;
    }
    device = reinterpret_cast<std::intptr_t>(opened);
    return OpenOutcome::opened;
}

// Only the five members below change; flow control and the rest stay as the driver has
// them, since another program may have chosen them for this board.
ConfigureOutcome configure(std::intptr_t device, std::int32_t baudRate) {
    DCB settings{};
    settings.DCBlength = sizeof settings;
    if (!GetCommState(handleOf(device), &settings)) return ConfigureOutcome::readSettingsFailed;
    settings.BaudRate = static_cast<DWORD>(baudRate);
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    settings.fDtrControl = DTR_CONTROL_ENABLE;
    if (!SetCommState(handleOf(device), &settings)) return ConfigureOutcome::applySettingsFailed;
    // A read returns once every asked byte is there or 1 ms after it began; writes have
    // no time-out.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 1;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    SetCommTimeouts(handleOf(device), &timeouts);
    return ConfigureOutcome::done;
}

void purge(std::intptr_t device) {
    PurgeComm(handleOf(device), PURGE_RXCLEAR | PURGE_TXCLEAR);
}

// A read of a device that went away may still return nothing without an error; asking for
// the line's status is what fails then.
IoOutcome queryStatus(std::intptr_t device, SerialLineStatus& status) {
    COMSTAT line{};
    // The line's error mask is cleared by the call and not looked at.
    DWORD mask = 0;
    const BOOL done = ClearCommError(handleOf(device), &mask, &line);
    status.cbInQue = line.cbInQue;
    return done ? IoOutcome::done : failure();
}

IoOutcome read(std::intptr_t device, void* buffer, std::uint32_t count,
               std::uint32_t& transferred) {
    DWORD got = 0;
    const BOOL done = ReadFile(handleOf(device), buffer, count, &got, nullptr);
    transferred = got;
    return done ? IoOutcome::done : failure();
}

IoOutcome write(std::intptr_t device, const void* buffer, std::uint32_t count) {
    DWORD written = 0;
    return WriteFile(handleOf(device), buffer, count, &written, nullptr) ? IoOutcome::done
                                                                         : failure();
}

// A read already waits for the line under the port's time-outs.
void waitForInput(std::intptr_t, std::chrono::steady_clock::time_point) {}

void close(std::intptr_t device) {
    if (device != kInvalid) CloseHandle(handleOf(device));
}

std::string lastErrorText() {
    const DWORD error = GetLastError();
    char buffer[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, length);
    // The system's text ends its sentence with a line end.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    if (text.empty()) text = "system error " + std::to_string(error);
    return text;
}

}  // namespace serial_os
