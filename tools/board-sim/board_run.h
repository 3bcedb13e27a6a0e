// The run: every board's emulated clock kept in step with the wall clock, their lines
// carried to and from their pseudo-terminals, and the actions of the script and the
// control channel worked on them when they fall due.
#pragma once

#include <string>
#include <vector>

#include "board-sim/emulated_rack.h"
#include "board-sim/usb_bridge.h"
#include "rack-emulator/control_input.h"
#include "rack-emulator/emulator.h"
#include "rack-emulator/rack_device.h"

namespace boardsim {

struct BoardStation {
    EmulatedRack* rack;
    rackemu::RackDevice* device;
    UsbBridge bridge;
    bool running = true;     // false once the firmware crashed
    bool lineFull = false;   // bytes are being lost: nobody reads the line
    std::size_t dropped = 0;
};

// Returns why the run ended: "quit" (an action or --duration) or "signal".
std::string runBoards(rackemu::Emulator& emulator, std::vector<BoardStation>& stations,
                      rackemu::ControlInput* control, rackemu::EventLog& log);

}  // namespace boardsim
