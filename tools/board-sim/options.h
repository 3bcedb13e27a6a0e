// board-sim's command line.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "rack-emulator/rack_layouts.h"
#include "rack-emulator/run_options.h"

namespace boardsim {

struct BoardRequest {
    std::string linkPath;  // empty: no link
    std::string firmware;  // empty: the rack's image in the firmware folder
    std::string bridge;    // empty: the bridge of the rack's board
};

struct Options : rackemu::RunOptions {
    std::map<rackemu::RackKind, BoardRequest> boards;
    std::string firmwareDir;
};

// The options, or the exit code when the run ends here (help shown: 0; a bad command
// line, told on standard error: 2).
struct Parsed {
    std::optional<Options> options;
    int exitCode = 0;
};
Parsed parseOptions(int argc, char** argv);

}  // namespace boardsim
