// Waits for whatever comes first (a rack's bytes, a control line, the next send or action,
// SIGINT or SIGTERM) and hands it to the emulator.
#pragma once

#include <string>
#include <vector>

#include "rack-emulator/control_input.h"
#include "rack-emulator/emulator.h"
#include "rack-emulator/rack_device.h"

namespace rackemu {

struct LoopRack {
    RackKind kind;
    RackDevice* device;
};

// From now on SIGINT, SIGTERM and SIGHUP end the run through the loop, so that links are
// removed; called before the first device is made.
void installStopSignals();
// Readable once one of those signals came, for a loop of another program's own.
int stopSignalHandle();

// Returns why the run ended: "quit" (an action or --duration) or "signal".
std::string runEventLoop(Emulator& emulator, const std::vector<LoopRack>& racks,
                         ControlInput* control, EventLog& log);

}  // namespace rackemu
