// Windows: the serial ports the drivers publish under HARDWARE\DEVICEMAP\SERIALCOMM, one
// value per port, whose data is the COM name and whose name is the driver's device.
#include <windows.h>

#include "port_list_os.h"

namespace port_list_os {

std::vector<SerialDevice> stableNames() {
    return {};
}

std::vector<SerialDevice> devices() {
    std::vector<SerialDevice> found;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return found;
    for (DWORD index = 0;; ++index) {
        char device[256];
        DWORD deviceSize = sizeof device;
        char name[256];
        DWORD nameSize = sizeof name - 1;
        DWORD type = 0;
        const LONG result = RegEnumValueA(key, index, device, &deviceSize, nullptr, &type,
                                          reinterpret_cast<BYTE*>(name), &nameSize);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        // Registry text need not end with its terminator.
        name[nameSize] = '\0';
        found.push_back({name, std::string(device, deviceSize)});
    }
    RegCloseKey(key);
    return found;
}

}  // namespace port_list_os
