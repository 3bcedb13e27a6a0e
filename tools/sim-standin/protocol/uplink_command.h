// One command block written to the uplink area: bytes 0 to 3 the sender's sequence word,
// byte 4 the kind (2 trigger, 3 set), then for a trigger the name from byte 5, for a set the
// 16-bit value at bytes 5 and 6 and the name from byte 7, each name ended by a zero byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace standin {

struct UplinkCommand {
    static constexpr std::uint8_t kTrigger = 2;
    static constexpr std::uint8_t kSet = 3;

    std::int32_t sequence = 0;
    std::uint8_t kind = 0;
    std::string name;
    std::uint16_t raw = 0;   // the set command's 16 bits as sent
    bool terminated = true;  // the name ended with its zero byte inside the block

    std::int16_t value() const { return static_cast<std::int16_t>(raw); }
};

// Reads at most `size` bytes; a block too short for its fields reads them as zero.
UplinkCommand decodeUplink(const std::uint8_t* block, std::size_t size);

}  // namespace standin
