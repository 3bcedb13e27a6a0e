// One flat JSON object written member by member: `{"name":value,...}`. Names are flash
// strings (F("...")), so they cost no RAM.
#pragma once

#include <stdint.h>

class Print;
class __FlashStringHelper;

namespace rackkit {

class JsonMessage {
public:
    explicit JsonMessage(Print& out);
    void member(const __FlashStringHelper* name, int32_t value);
    // A number with one decimal, from tenths: 251 is written 25.1, -5 is -0.5.
    void memberTenths(const __FlashStringHelper* name, int32_t tenths);
    // Ends the object and the line; the service skips the line end while it looks for
    // the next '{'.
    void end();

private:
    void name(const __FlashStringHelper* text);

    Print& out_;
    bool first_ = true;
};

// When a text rack sends: a message every periodMs, the first startMs after a reset. The
// service's opening of the port resets the board, and the service reads nothing until
// the simulator has answered, so messages sent at once would only wait in the port's
// queue.
class MessagePace {
public:
    static constexpr uint16_t periodMs = 100;
    static constexpr uint16_t startMs = 2500;

    // True when a message is to go now; the first time also says the rack has started.
    bool due(uint16_t nowMs);
    bool started() const { return started_; }

private:
    uint16_t sentMs_ = 0;
    bool started_ = false;
};

}  // namespace rackkit
