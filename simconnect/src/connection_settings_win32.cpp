// Windows homes of the connection settings: the shell's Documents folders, the process's
// current folder, the private-profile functions and the current user's registry hive.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "connection_settings_os.h"

namespace {

constexpr int kCommonDocuments = 46;  // CSIDL_COMMON_DOCUMENTS
constexpr int kPersonal = 5;          // CSIDL_PERSONAL
constexpr DWORD kCurrentFolderBuffer = 260;

std::optional<std::string> ShellFolder(int folder) {
    char path[MAX_PATH] = {};
    if (SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) {
        return std::nullopt;
    }
    return std::string(path);
}

}  // namespace

namespace settings_os {

std::optional<std::string> CommonDocumentsFolder() {
    return ShellFolder(kCommonDocuments);
}

std::optional<std::string> UserDocumentsFolder() {
    return ShellFolder(kPersonal);
}

std::optional<std::string> CurrentFolder() {
    char path[kCurrentFolderBuffer] = {};
    // A folder longer than the buffer is reported by its needed size and not copied.
    const DWORD length = GetCurrentDirectoryA(kCurrentFolderBuffer, path);
    if (length == 0 || length >= kCurrentFolderBuffer) return std::nullopt;
    return std::string(path, length);
}

std::optional<std::string> JoinPath(const std::string& folder, const std::string& file) {
    char path[MAX_PATH] = {};
    if (PathCombineA(path, folder.c_str(), file.c_str()) == nullptr) return std::nullopt;
    return std::string(path);
}

std::string ReadProfileValue(const std::string& file, const std::string& section,
                             const std::string& key, std::size_t bufferSize) {
    std::vector<char> value(bufferSize);
    const DWORD length =
        GetPrivateProfileStringA(section.c_str(), key.c_str(), "", value.data(),
                                 static_cast<DWORD>(bufferSize), file.c_str());
    return std::string(value.data(), length);
}

bool ReadProfileSection(const std::string& file, const std::string& section,
                        std::size_t bufferSize) {
    std::vector<char> entries(bufferSize);
    return GetPrivateProfileSectionA(section.c_str(), entries.data(),
                                     static_cast<DWORD>(bufferSize), file.c_str()) > 0;
}

std::string ReadUserRegistryText(const std::string& key, const std::string& value,
                                 std::size_t bufferSize) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return {};
    }
    std::vector<char> text(bufferSize, '\0');
    auto size = static_cast<DWORD>(bufferSize);
    const LONG result = RegQueryValueExA(opened, value.c_str(), nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(text.data()), &size);
    RegCloseKey(opened);
    if (result != ERROR_SUCCESS) return {};
    // The value need not end in a zero byte; only the bytes read are looked at.
    std::size_t length = 0;
    while (length < size && length < bufferSize && text[length] != '\0') ++length;
    return std::string(text.data(), length);
}

}  // namespace settings_os
