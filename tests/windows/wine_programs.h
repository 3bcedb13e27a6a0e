// Running the Windows build's programs under Wine from a Linux test: their paths, the
// build's Wine prefix, their console text, and the prefix's COM ports led to rack-emulator's
// pseudo-terminals. Needs ORVENDALE_WINE_RUN defined, and ORVENDALE_WINDOWS_BIN_DIR in the
// environment.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "testing/process.h"

namespace winetest {

namespace fs = std::filesystem;

// The Windows build's programs: scripts/test names their folder after building them.
inline const char* const kWindowsBinVariable = "ORVENDALE_WINDOWS_BIN_DIR";
inline const std::string kWindowsBin =
    std::getenv(kWindowsBinVariable) != nullptr ? std::getenv(kWindowsBinVariable) : "";
inline const std::map<std::string, std::string> kComPorts = {
    {"com3", "joystick"}, {"com4", "pedals"}, {"com5", "efis"}, {"com6", "fcu"}};

inline std::string windowsProgram(const std::string& name) {
    return kWindowsBin + "/" + name + ".exe";
}

inline std::string winePrefix() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0')
        return prefix;
    return fs::weakly_canonical(fs::path(kWindowsBin) / ".." / "wine-prefix").string();
}

// Runs `exe` under Wine in the build's prefix, in the folder `cwd`.
inline testsupport::ProcessOptions wineOptions(const std::string& exe,
                                               std::vector<std::string> args,
                                               const std::string& cwd) {
    args.insert(args.begin(), {ORVENDALE_WINE_RUN, exe});
    return {.args = args, .cwd = cwd, .env = {{"WINEPREFIX", winePrefix()}}};
}

// Windows programs end their console lines with CR LF.
inline std::string lines(const testsupport::ChildProcess& process) {
    std::string text = process.output();
    std::erase(text, '\r');
    return text;
}

inline bool contains(const testsupport::ChildProcess& process, const std::string& text) {
    return lines(process).find(text) != std::string::npos;
}

// Links from the prefix's COM3 to COM6 to the racks' devices (by rack name), removed at
// the end.
struct ComLinks {
    explicit ComLinks(const std::map<std::string, std::string>& devices) {
        for (const auto& [port, rack] : kComPorts) {
            links.push_back(fs::path(winePrefix()) / "dosdevices" / port);
            fs::remove(links.back());
            fs::create_symlink(devices.at(rack), links.back());
        }
    }
    ~ComLinks() {
        std::error_code ignored;
        for (const fs::path& link : links) fs::remove(link, ignored);
    }
    ComLinks(const ComLinks&) = delete;
    ComLinks& operator=(const ComLinks&) = delete;
    std::vector<fs::path> links;
};

}  // namespace winetest
