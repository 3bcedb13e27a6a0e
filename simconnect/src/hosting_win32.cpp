// Host detection on Windows: a simulator that loads the library exports two functions
// from its executable, which name its main window and its process.
#include <windows.h>

#include "hosting.h"

namespace {

// Any object of the library will do to find the module that holds its code.
const char kModuleMarker = 0;

// GetProcAddress gives an untyped function; the detour through void (*)() states that
// the exported function has the type asked for.
template <typename Function>
Function Exported(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

// A process's window messages reach its own window; there is no sink here.
HostCommandSink* SetHostCommandSink(HostCommandSink*) {
    return nullptr;
}

namespace hosting_os {

HWND DetectHostWindow() {
    const HMODULE executable = GetModuleHandleA(nullptr);
    const auto mainWindow = Exported<HWND (*)()>(executable, "FlightSimGetMainHwnd");
    const auto processId = Exported<DWORD (*)()>(executable, "FlightSimGetProcessId");
    const HWND window = mainWindow != nullptr ? mainWindow() : nullptr;
    const DWORD process = processId != nullptr ? processId() : 0;
    HMODULE library = nullptr;
    if (window == nullptr || process != GetCurrentProcessId() ||
        !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, &kModuleMarker, &library)) {
        return nullptr;
    }
    PostMessageA(window, WM_COMMAND, kHostCommand, reinterpret_cast<LPARAM>(library));
    return window;
}

void PostHostCommand(HWND window, std::intptr_t lParam) {
    PostMessageA(window, WM_COMMAND, kHostCommand, static_cast<LPARAM>(lParam));
}

}  // namespace hosting_os
