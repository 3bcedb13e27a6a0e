#include <HardwareSerial.h>

#include "panel_frames.h"

namespace rackkit {

void sendFrame(Stream& line, uint8_t* frame, uint8_t length) {
    frame[0] = frameStart;
    frame[length - 1] = frameEnd;
    line.write(frame, length);
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

}  // namespace rackkit
