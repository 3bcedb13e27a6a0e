// A program that uses the library as an application would: it opens a session with the
// configuration index given as its argument (0 by default), sends one client event and
// closes. It prints each result and exits with 0 when all of them succeeded.
#include <cstdio>
#include <cstdlib>

#include "simconnect/SimConnect.h"

int main(int argc, char** argv) {
    const DWORD index = argc > 1 ? static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10)) : 0;
    HANDLE handle = nullptr;
    const HRESULT opened = SimConnect_Open(&handle, "open probe", nullptr, 0, nullptr, index);
    std::printf("open 0x%08X\n", static_cast<unsigned>(opened));
    if (FAILED(opened)) return 1;
    const HRESULT sent = SimConnect_TransmitClientEvent(handle, 0, 7, 0, 1, 16);
    const HRESULT closed = SimConnect_Close(handle);
    std::printf("event 0x%08X close 0x%08X\n", static_cast<unsigned>(sent),
                static_cast<unsigned>(closed));
    std::fflush(stdout);
    return SUCCEEDED(sent) && SUCCEEDED(closed) ? 0 : 1;
}
