// POSIX homes of the Windows folders and registry: the all-users Documents folder is
// /etc/orvendale, the user's is $HOME/Documents, and the registry hive of the current
// user is the INI file $HOME/.config/orvendale/registry.ini with one section per key.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "connection_settings_os.h"
#include "profile_reader.h"

namespace {

constexpr std::size_t kCurrentFolderBuffer = 260;

// HOME from the environment, else the password database.
std::optional<std::string> HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr) {
        return std::nullopt;
    }
    return std::string(found->pw_dir);
}

}  // namespace

namespace settings_os {

std::optional<std::string> CommonDocumentsFolder() {
    return std::string("/etc/orvendale");
}

std::optional<std::string> UserDocumentsFolder() {
    auto home = HomeFolder();
    if (!home) return std::nullopt;
    return *home + "/Documents";
}

std::optional<std::string> CurrentFolder() {
    char buffer[kCurrentFolderBuffer];
    if (getcwd(buffer, sizeof buffer) == nullptr) return std::nullopt;
    return std::string(buffer);
}

std::optional<std::string> JoinPath(const std::string& folder, const std::string& file) {
    if (!folder.empty() && folder.back() == '/') return folder + file;
    return folder + "/" + file;
}

std::string ReadProfileValue(const std::string& file, const std::string& section,
                             const std::string& key, std::size_t bufferSize) {
    return ReadProfileString(file, section, key, "", bufferSize);
}

bool ReadProfileSection(const std::string& file, const std::string& section, std::size_t) {
    return ProfileSectionHasEntries(file, section);
}

std::string ReadUserRegistryText(const std::string& key, const std::string& value,
                                 std::size_t bufferSize) {
    auto home = HomeFolder();
    if (!home) return {};
    // Read with room for one character more, so that a value too long to fit is seen
    // as too long instead of silently cut.
    const std::string text = ReadProfileString(*home + "/.config/orvendale/registry.ini", key,
                                               value, "", bufferSize + 1);
    if (text.size() + 1 > bufferSize) return {};
    return text;
}

}  // namespace settings_os
