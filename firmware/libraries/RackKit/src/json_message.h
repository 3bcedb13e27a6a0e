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

}  // namespace rackkit
