// A script file: action lines (action.h) with their times resolved to seconds from the
// start of the run.
#pragma once

#include <istream>
#include <vector>

#include "rack-emulator/action.h"

namespace rackemu {

struct ScriptStep {
    double at = 0;  // seconds from the start of the run
    Action action;
};

// Throws ActionError naming the line ("line 3: unknown rack: radio").
std::vector<ScriptStep> parseScript(std::istream& in);

}  // namespace rackemu
