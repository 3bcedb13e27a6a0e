#include "sim-standin/protocol/uplink_command.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "sim-standin/protocol/wire_bytes.h"

namespace standin {

UplinkCommand decodeUplink(const std::uint8_t* block, std::size_t size) {
    // Working on a zero-padded copy of the usual 132 bytes keeps every read inside it.
    std::array<std::uint8_t, 132> bytes{};
    std::memcpy(bytes.data(), block, std::min(size, bytes.size()));
    const std::size_t end = std::min(size, bytes.size());

    UplinkCommand command;
    command.sequence = static_cast<std::int32_t>(LoadU32(bytes.data()));
    command.kind = bytes[4];
    const std::size_t nameAt = command.kind == UplinkCommand::kSet ? 7 : 5;
    if (command.kind == UplinkCommand::kSet) {
        command.raw = LoadU16(&bytes[5]);
    }
    std::size_t stop = nameAt;
    while (stop < end && bytes[stop] != 0) ++stop;
    command.terminated = stop < end;
    if (stop > nameAt)
        command.name.assign(reinterpret_cast<const char*>(&bytes[nameAt]), stop - nameAt);
    return command;
}

}  // namespace standin
