#include "panel_frames.h"

#include <string.h>

namespace rackkit {

void putField(uint8_t* frame, uint8_t offset, int32_t value) {
    const uint32_t bits = static_cast<uint32_t>(value);
    for (uint8_t i = 0; i < 4; ++i) frame[offset + i] = static_cast<uint8_t>(bits >> (8 * i));
}

int32_t getField(const uint8_t* frame, uint8_t offset) {
    uint32_t bits = 0;
    for (uint8_t i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(frame[offset + i]) << (8 * i);
    return static_cast<int32_t>(bits);
}

bool FrameReceiver::take(uint8_t byte) {
    if (fill_ == 0 && byte != frameStart) {
        ++counters_.skipped;
        return false;
    }
    work_[fill_++] = byte;
    if (fill_ < length_) return false;
    if (work_[length_ - 1] == frameEnd) {
        memcpy(latest_, work_, length_);
        fill_ = 0;
        ++counters_.frames;
        return true;
    }
    ++counters_.broken;
    resynchronise();
    return false;
}

void FrameReceiver::resynchronise() {
    uint8_t start = 1;
    while (start < length_ && work_[start] != frameStart) ++start;
    counters_.skipped += start;
    fill_ = length_ - start;
    memmove(work_, work_ + start, fill_);
}

}  // namespace rackkit
