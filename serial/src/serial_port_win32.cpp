// Serial devices on Windows: the COM device opened for exclusive, synchronous use, the
// line set through its DCB, reads bounded by the communication time-outs.
#include <windows.h>

#include "serial_port_os.h"

namespace serial_os {

namespace {

HANDLE handleOf(std::intptr_t device) {
    return reinterpret_cast<HANDLE>(device);
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

void queryStatus(std::intptr_t device, SerialLineStatus& status, std::uint32_t& errors) {
    COMSTAT line{};
    DWORD mask = 0;
    ClearCommError(handleOf(device), &mask, &line);
    status.cbInQue = line.cbInQue;
    errors = mask;
}

bool read(std::intptr_t device, void* buffer, std::uint32_t count, std::uint32_t& transferred) {
    DWORD got = 0;
    const BOOL done = ReadFile(handleOf(device), buffer, count, &got, nullptr);
    transferred = got;
    return done != FALSE;
}

bool write(std::intptr_t device, const void* buffer, std::uint32_t count) {
    DWORD written = 0;
    return WriteFile(handleOf(device), buffer, count, &written, nullptr) != FALSE;
}

// A read already waits for the line under the port's time-outs.
void waitForInput(std::intptr_t, std::chrono::steady_clock::time_point) {}

void close(std::intptr_t device) {
    if (device != kInvalid) CloseHandle(handleOf(device));
}

}  // namespace serial_os
