// Reads the frames the service writes to a panel and shows them as the panel would.
#pragma once

#include <span>
#include <string>

#include "rack-emulator/rack_layouts.h"

namespace rackemu {

// The fields of a well-framed output frame by name; the FCU's mode lights are also given
// one by one ("loc", "ap1", "athr", "exped", "appr").
Json decodePanelOutput(RackKind kind, std::span<const std::uint8_t> frame);

// One line as the panel's windows and lights would show the decoded fields, for example
// "SPD 250  HDG 180  ALT 5000  V/S +700  [LOC] [AP1] [A/THR]".
std::string panelDisplay(RackKind kind, const Json& fields);

}  // namespace rackemu
