#include "panel_frames.h"

#include <HardwareSerial.h>
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

void sendFrame(Stream& line, uint8_t* frame, uint8_t length) {
    frame[0] = frameStart;
    frame[length - 1] = frameEnd;
    line.write(frame, length);
}

void FramePacer::received(uint16_t nowMs) {
    receivedMs_ = nowMs;
    answered_ = false;
    following_ = true;
    // One step of a 16-bit Galois shift register: its low bit picks the answer's moment.
    random_ = (random_ >> 1) ^ ((random_ & 1) ? 0xB400 : 0);
    delayMs_ = replyDelayMs + ((random_ & 1) ? readPeriodMs : 0);
}

bool FramePacer::due(uint16_t nowMs) {
    // The service's frames stopped: back to the panel's own pace.
    if (following_ && static_cast<uint16_t>(nowMs - receivedMs_) > 2 * periodMs) following_ = false;
    const bool due = following_ ? !answered_ && static_cast<uint16_t>(nowMs - receivedMs_) >= delayMs_
                                : static_cast<uint16_t>(nowMs - sentMs_) >= periodMs;
    if (due) {
        answered_ = true;
        sentMs_ = nowMs;
    }
    return due;
}

bool FrameReceiver::poll(Stream& line) {
    // The core's receive buffer holds one byte less than its size; found that full, it has
    // been dropping what came since.
    if (line.available() >= SERIAL_RX_BUFFER_SIZE - 1) ++counters_.full;
    bool found = false;
    for (int byte = line.read(); byte >= 0; byte = line.read()) {
        if (take(static_cast<uint8_t>(byte))) found = true;
    }
    return found;
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
