// Cuts fixed-length frames ('{' ... '}') out of the byte stream the service writes. Bytes
// that cannot begin a frame are handed back as garbage, so that one bad byte costs at most
// the frame it lands in and the cutter finds the next frame by itself.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "rack-emulator/frame_fields.h"

namespace rackemu {

struct StreamPiece {
    Bytes bytes;
    bool isFrame;  // false: bytes dropped while looking for a frame
};

class FrameCutter {
public:
    explicit FrameCutter(std::size_t frameLength) : length_(frameLength) {}

    // Adds received bytes; returns the frames and garbage now complete, in stream order.
    // A frame cut short stays buffered until the rest arrives.
    std::vector<StreamPiece> feed(std::span<const std::uint8_t> bytes);

private:
    std::size_t length_;
    Bytes buffer_;
};

}  // namespace rackemu
