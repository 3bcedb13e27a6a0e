// The panels' binary frames: the byte '{', 32-bit little-endian fields, the byte '}'. A
// panel sends its frame every framePeriodMs on its own clock; the service keeps a frame
// that its read finds still arriving and completes it on its next read.
#pragma once

#include <stdint.h>

class Stream;

namespace rackkit {

constexpr uint8_t frameStart = '{';
constexpr uint8_t frameEnd = '}';
constexpr uint16_t framePeriodMs = 100;

void putField(uint8_t* frame, uint8_t offset, int32_t value);
int32_t getField(const uint8_t* frame, uint8_t offset);
// Frames the fields already in `frame` and writes it whole.
void sendFrame(Stream& line, uint8_t* frame, uint8_t length);

// What the receiving side has seen of the line since the start, so that a loop too slow
// for its line shows up as counts rather than as displays that quietly lag.
struct LinkCounters {
    uint16_t frames = 0;   // whole frames taken
    uint16_t broken = 0;   // a '{' and the frame's length of bytes that did not end in '}'
    uint16_t skipped = 0;  // bytes dropped while looking for a frame's start
    uint16_t full = 0;     // times the receive buffer was found full: bytes were lost there
};

// Finds the service's frames in the byte stream by their '{', their length and their '}'.
// After a broken frame it looks for the next '{' inside the bytes already taken, so a stray
// byte costs at most the frame it fell into.
class FrameReceiver {
public:
    // `work` and `latest` are buffers of `length` bytes each.
    FrameReceiver(uint8_t* work, uint8_t* latest, uint8_t length)
        : work_(work), latest_(latest), length_(length) {}

    // Takes everything that has arrived; true when a whole frame came, the newest of them
    // then being in latest().
    bool poll(Stream& line);
    // Takes one byte; true when it completed a frame.
    bool take(uint8_t byte);
    const uint8_t* latest() const { return latest_; }
    const LinkCounters& counters() const { return counters_; }

private:
    void resynchronise();

    uint8_t* work_;
    uint8_t* latest_;
    uint8_t length_;
    uint8_t fill_ = 0;
    LinkCounters counters_;
};

}  // namespace rackkit
