// The serial line a rack writes to; RackDevice (rack_device.h) is the real one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace rackemu {

class RackLine {
public:
    virtual ~RackLine() = default;
    // Hands the whole message to the line in one write; false when the line refused it.
    virtual bool writeAll(std::span<const std::uint8_t> bytes) = 0;
    // Bytes written earlier that the reader on the other side has not taken yet.
    virtual std::size_t unreadBytes() = 0;
};

}  // namespace rackemu
