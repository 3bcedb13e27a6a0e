#include "rack-emulator/frame_cutter.h"

#include <algorithm>

namespace rackemu {

std::vector<StreamPiece> FrameCutter::feed(std::span<const std::uint8_t> bytes) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    std::vector<StreamPiece> pieces;
    Bytes garbage;
    std::size_t at = 0;
    for (;;) {
        const auto start = std::find(buffer_.begin() + static_cast<std::ptrdiff_t>(at),
                                     buffer_.end(), std::uint8_t{'{'});
        const auto next = static_cast<std::size_t>(start - buffer_.begin());
        garbage.insert(garbage.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(at), start);
        at = next;
        if (buffer_.size() - at < length_) break;
        if (buffer_[at + length_ - 1] != '}') {
            // A '{' inside garbage or a damaged frame: drop it and look again after it.
            garbage.push_back(buffer_[at++]);
            continue;
        }
        if (!garbage.empty()) pieces.push_back({std::move(garbage), false});
        garbage.clear();
        const auto first = buffer_.begin() + static_cast<std::ptrdiff_t>(at);
        pieces.push_back({Bytes(first, first + static_cast<std::ptrdiff_t>(length_)), true});
        at += length_;
    }
    if (!garbage.empty()) pieces.push_back({std::move(garbage), false});
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(at));
    return pieces;
}

}  // namespace rackemu
