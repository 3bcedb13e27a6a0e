// How the page reads a rack's input and output: the fields of each frame or message by
// name, with what kind of control each is (an axis drawn as a bar, a switch as a lamp, a
// knob's detent count, a selector's value).
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace monitor {

enum class RackKind { joystick, pedals, efis, fcu, other };

RackKind rackKindOf(const std::string& rackName);
const char* rackKindName(RackKind kind);

// [{"name","kind","value"[,"min","max"]}], in the frame's or message's order; an empty
// array when there is no input yet. A message member that is no known control is listed
// as a "value".
nlohmann::json decodeInputFrame(RackKind kind, const std::vector<std::uint8_t>& frame);
nlohmann::json decodeInputText(RackKind kind, const std::string& body);
// {"name": value, ...} of a display frame; empty when none was written yet.
nlohmann::json decodeOutputFrame(RackKind kind, const std::vector<std::uint8_t>& frame);

}  // namespace monitor
