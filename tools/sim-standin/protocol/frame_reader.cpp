#include "sim-standin/protocol/frame_reader.h"

namespace standin {

void FrameReader::append(const std::uint8_t* data, std::size_t size) {
    if (!problem_.empty()) return;
    // Cut bytes are dropped before new ones arrive, so the buffer never holds more than
    // one unfinished request plus one read.
    if (start_ > 0) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    buffer_.insert(buffer_.end(), data, data + size);
}

std::optional<Bytes> FrameReader::next() {
    if (!problem_.empty() || pending() < 4) return std::nullopt;
    const std::uint32_t length = LoadU32(&buffer_[start_]);
    if (length < kHeaderSize) {
        problem_ = "length " + std::to_string(length) + " below " + std::to_string(kHeaderSize);
        return std::nullopt;
    }
    if (length > kMaxRequestSize) {
        problem_ = "length " + std::to_string(length) + " above the limit of " +
                   std::to_string(kMaxRequestSize);
        return std::nullopt;
    }
    if (pending() < length) return std::nullopt;
    const auto first = buffer_.begin() + static_cast<std::ptrdiff_t>(start_);
    Bytes request(first, first + length);
    start_ += length;
    return request;
}

void FrameReader::finish() {
    if (problem_.empty() && pending() > 0) {
        problem_ = "request cut short at close (" + std::to_string(pending()) + " bytes)";
    }
}

}  // namespace standin
