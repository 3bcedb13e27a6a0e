// Stop requests on Windows: Ctrl+C, Ctrl+Break and the console closing reach a console
// control handler, which sets the flag and an event that the server's wait wakes up on.
#include <windows.h>

#include <atomic>

#include "sim-standin/server/stop_signal.h"

namespace standin {
namespace {

std::atomic<bool> stopRequested{false};
HANDLE stopEvent = nullptr;

// Runs on a thread of its own that the system starts for the control event.
BOOL WINAPI onConsoleControl(DWORD) {
    stopRequested = true;
    if (stopEvent != nullptr) SetEvent(stopEvent);
    return TRUE;
}

}  // namespace

StopSignal::StopSignal() {
    stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

StopSignal::~StopSignal() {
    SetConsoleCtrlHandler(onConsoleControl, FALSE);
    if (stopEvent != nullptr) CloseHandle(stopEvent);
    stopEvent = nullptr;
}

bool StopSignal::requested() const {
    return stopRequested;
}

std::intptr_t StopSignal::waitHandle() const {
    return reinterpret_cast<std::intptr_t>(stopEvent);
}

// The flag stays set; the event only has to stop waking the server once it has looked.
void StopSignal::drain() const {
    if (stopEvent != nullptr) ResetEvent(stopEvent);
}

}  // namespace standin
