// Publishes the stand-in's TCP ports as the simulator does: REG_SZ values under
// HKEY_CURRENT_USER\SOFTWARE\Microsoft\Microsoft Games\KittyHawk.
#include <windows.h>

#include "sim-standin/server/port_registry.h"

namespace standin {
namespace {

const std::string kKey(kSimulatorKey);

// The value's text, or empty text when it is missing or not text.
std::string readText(HKEY key, const std::string& name) {
    char text[64] = {};
    DWORD type = 0;
    DWORD size = sizeof text - 1;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    return std::string(text);
}

}  // namespace

bool PortRegistry::store(const IniValues& values, std::string& error) {
    HKEY key = nullptr;
    LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, kKey.c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS) {
        error = "cannot create HKEY_CURRENT_USER\\" + kKey + ": error " + std::to_string(result);
        return false;
    }
    for (const auto& [name, text] : values) {
        result = RegSetValueExA(key, name.c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(text.c_str()),
                                static_cast<DWORD>(text.size() + 1));
        if (result != ERROR_SUCCESS) break;
        published_.emplace_back(name, text);
    }
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) error = "cannot set a port value: error " + std::to_string(result);
    return result == ERROR_SUCCESS;
}

void PortRegistry::withdraw() {
    if (published_.empty()) return;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey.c_str(), 0, KEY_SET_VALUE | KEY_QUERY_VALUE, &key) ==
        ERROR_SUCCESS) {
        // A value that another simulator has written since is its own and stays.
        for (const auto& [name, text] : published_) {
            if (readText(key, name) == text) RegDeleteValueA(key, name.c_str());
        }
        RegCloseKey(key);
    }
    published_.clear();
}

}  // namespace standin
