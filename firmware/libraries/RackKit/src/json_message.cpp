#include "json_message.h"

#include <Print.h>

namespace rackkit {

JsonMessage::JsonMessage(Print& out) : out_(out) {
    out_.print('{');
}

void JsonMessage::name(const __FlashStringHelper* text) {
    if (!first_) out_.print(',');
    first_ = false;
    out_.print('"');
    out_.print(text);
    out_.print(F("\":"));
}

void JsonMessage::member(const __FlashStringHelper* text, int32_t value) {
    name(text);
    out_.print(value);
}

void JsonMessage::memberTenths(const __FlashStringHelper* text, int32_t tenths) {
    name(text);
    if (tenths < 0) out_.print('-');
    const uint32_t magnitude = tenths < 0 ? -static_cast<uint32_t>(tenths) : tenths;
    out_.print(magnitude / 10);
    out_.print('.');
    out_.print(magnitude % 10);
}

void JsonMessage::end() {
    out_.print(F("}\r\n"));
}

bool MessagePace::due(uint16_t nowMs) {
    if (!started_) {
        if (nowMs < startMs) return false;
        started_ = true;
    } else if (static_cast<uint16_t>(nowMs - sentMs_) < periodMs) {
        return false;
    }
    sentMs_ = nowMs;
    return true;
}

}  // namespace rackkit
