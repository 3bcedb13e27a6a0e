// The command line of rack-emulator.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>

#include "rack-emulator/rack_layouts.h"
#include "rack-emulator/run_options.h"

namespace rackemu {

struct RackRequest {
    std::string linkPath;    // --efis PATH: where to link the new pseudo-terminal
    std::string devicePath;  // --efis-device PATH: an existing device to attach to
    std::chrono::milliseconds period{100};
};

struct Options : RunOptions {
    std::map<RackKind, RackRequest> racks;  // the racks asked for, at least one
    bool verbose = false;
};

// Reads the command line into `options`. When the program ends here, returns its exit
// code: 0 once --help is printed, 2 once a bad command line is explained on stderr.
std::optional<int> readCommandLine(int argc, const char* const* argv, Options& options);

}  // namespace rackemu
