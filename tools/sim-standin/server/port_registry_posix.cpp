#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim-standin/server/port_registry.h"

namespace standin {
namespace {

namespace fs = std::filesystem;

// HOME from the environment, else the password database, as the client library finds it.
std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    const passwd* entry = getpwuid(getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Readers never see a half-written file: the new content replaces the old in one rename.
bool replaceFile(const std::string& path, const std::string& content, std::string& error) {
    const std::string temporary = path + ".tmp." + std::to_string(getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << content;
        if (!out.flush()) {
            error = "cannot write " + temporary;
            return false;
        }
    }
    std::error_code failure;
    fs::rename(temporary, path, failure);
    if (failure) error = "cannot replace " + path + ": " + failure.message();
    return !failure;
}

}  // namespace

bool PortRegistry::store(const IniValues& values, std::string& error) {
    const std::string home = homeFolder();
    if (home.empty()) {
        error = "no home folder for the registry file";
        return false;
    }
    const std::string location = home + "/.config/orvendale/registry.ini";
    std::error_code failure;
    fs::create_directories(fs::path(location).parent_path(), failure);
    const std::string text = setIniValues(readAll(location), kSimulatorKey, values);
    if (!replaceFile(location, text, error)) return false;
    published_ = values;
    location_ = location;
    return true;
}

void PortRegistry::withdraw() {
    if (published_.empty()) return;
    const std::string text = removeIniValues(readAll(location_), kSimulatorKey, published_);
    published_.clear();
    std::string error;
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
        std::error_code ignored;
        fs::remove(location_, ignored);
    } else {
        replaceFile(location_, text, error);
    }
}

}  // namespace standin
