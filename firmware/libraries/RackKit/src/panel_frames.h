// The panels' binary frames: the byte '{', 32-bit little-endian fields, the byte '}'.
#pragma once

#include <stdint.h>

class Stream;

namespace rackkit {

constexpr uint8_t frameStart = '{';
constexpr uint8_t frameEnd = '}';

void putField(uint8_t* frame, uint8_t offset, int32_t value);
int32_t getField(const uint8_t* frame, uint8_t offset);
// Frames the fields already in `frame` and writes it whole.
void sendFrame(Stream& line, uint8_t* frame, uint8_t length);

// When to send the panel's frames. The service writes its frame and reads right after,
// then reads again 50 ms later; a read takes what has arrived and drops a frame still on
// its way, knob turns and all. So the panel answers each of the service's frames halfway
// between two reads: 20 ms after it came, or 70 ms. Which of the two is drawn at random:
// the service repeats a held switch's event when its 200 ms repeat interval runs out on a
// read that finds a frame, and answers always at one point would leave every other read
// empty, in step with the repeat interval. Until the service writes (it has not opened the
// port yet, or the simulator has not answered), the panel sends every 100 ms on its own.
class FramePacer {
public:
    void received(uint16_t nowMs);
    // True when a frame is to go now; it is then counted as sent.
    bool due(uint16_t nowMs);

    static constexpr uint16_t replyDelayMs = 20;
    static constexpr uint16_t readPeriodMs = 50;
    static constexpr uint16_t periodMs = 100;

private:
    uint16_t receivedMs_ = 0;
    uint16_t sentMs_ = 0;
    uint16_t delayMs_ = replyDelayMs;
    uint16_t random_ = 0xACE1;
    bool answered_ = true;  // the last frame received has had its answer
    bool following_ = false;
};

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
    const uint8_t* latest() const { return latest_; }
    const LinkCounters& counters() const { return counters_; }

private:
    bool take(uint8_t byte);
    void resynchronise();

    uint8_t* work_;
    uint8_t* latest_;
    uint8_t length_;
    uint8_t fill_ = 0;
    LinkCounters counters_;
};

}  // namespace rackkit
