// The operating-system seam of the connection settings: where the configuration files
// live, how profile files are read, and where the simulator's registry values are.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace settings_os {

// The folders in which "SimConnect.cfg" is looked for, each empty when its lookup fails.
std::optional<std::string> CommonDocumentsFolder();
std::optional<std::string> UserDocumentsFolder();
std::optional<std::string> CurrentFolder();
std::optional<std::string> JoinPath(const std::string& folder, const std::string& file);

std::string ReadProfileValue(const std::string& file, const std::string& section,
                             const std::string& key, std::size_t bufferSize);
// True when anything at all could be read from the section.
bool ReadProfileSection(const std::string& file, const std::string& section,
                        std::size_t bufferSize);

// A text value of a key under the current user's registry hive; empty when the key or
// the value is missing or the value does not fit `bufferSize` bytes with its NUL.
std::string ReadUserRegistryText(const std::string& key, const std::string& value,
                                 std::size_t bufferSize);

}  // namespace settings_os
