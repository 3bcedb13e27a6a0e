// The cockpit-variable channel: two client-data areas shared with the companion module
// inside the simulator. The downlink block carries 32 signed 32-bit slots of variable
// values in tenths; the uplink block carries one command (trigger or set) at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "simconnect/SimConnect.h"

namespace cockpit {

constexpr SIMCONNECT_CLIENT_DATA_ID kDownlinkAreaId = 5321;
constexpr SIMCONNECT_CLIENT_DATA_ID kUplinkAreaId = 5322;
constexpr SIMCONNECT_CLIENT_DATA_DEFINITION_ID kBlockDefinitionId = 5321;
constexpr SIMCONNECT_DATA_REQUEST_ID kDownlinkRequestId = 5322;
constexpr const char* kDownlinkAreaName = "orvendale.downlink";
constexpr const char* kUplinkAreaName = "orvendale.uplink";

constexpr std::size_t kBlockSize = 132;
// Both blocks start with a word of their own; the slots and commands follow it.
constexpr std::size_t kPayloadOffset = 4;
constexpr std::size_t kPayloadSize = kBlockSize - kPayloadOffset;

constexpr std::uint8_t kTriggerCommand = 2;
constexpr std::uint8_t kSetCommand = 3;

using Block = std::array<std::uint8_t, kBlockSize>;
using Payload = std::array<std::uint8_t, kPayloadSize>;
// A variable's name to its slot's offset within the payload.
using SlotTable = std::map<std::string, std::uint16_t>;

struct Slot {
    std::uint16_t offset;  // within the payload
    const char* name;
};
// The slot order is the contract with the companion module, which publishes each
// variable at the offset given here.
extern const std::array<Slot, 27> kSlots;

// Lay out one command in a zeroed payload: the kind, for a set command the value's low 16
// bits (least significant byte first), then the name and its terminator. A name that
// would leave no room for the terminator is refused, and the payload stays untouched.
bool packTriggerCommand(const std::string& name, Payload& payload);
bool packSetCommand(const std::string& name, std::int32_t value, Payload& payload);

}  // namespace cockpit
