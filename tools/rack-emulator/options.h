// The command line of rack-emulator and its help text.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/rack-emulator/rack_layouts.h"

namespace rackemu {

struct RackRequest {
    std::string linkPath;    // --efis PATH: where to link the new pseudo-terminal
    std::string devicePath;  // --efis-device PATH: an existing device to attach to
    std::chrono::milliseconds period{100};
    bool requested = false;  // false: only a --period named the rack
};

struct Options {
    std::map<RackKind, RackRequest> racks;
    std::string scriptPath;
    std::string controlPath;
    std::string logPath;
    std::optional<double> durationSeconds;
    bool scriptAfterOpen = false;
    bool verbose = false;
    bool help = false;
};

class OptionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// `args` without the program name. Throws OptionError.
Options parseOptions(const std::vector<std::string>& args);
std::string helpText();

}  // namespace rackemu
