// Pedals rack: the rudder and the two toe brakes, sent to the service as one JSON message
// every 100 ms ("pedals_rack" in rack_config.json).
#include <RackKit.h>

#include "pedals_pins.h"

namespace {

using namespace rackkit;

constexpr uint16_t sendPeriodMs = 100;
// The simulator's "position 16K" rudder, and its brake axis from -16384 (released).
constexpr int32_t axisFullScale = 16384;

uint16_t lastSentMs = 0;

int32_t axis(uint8_t channel) {
    return axisValue(readChannel(channel), axisFullScale);
}

void sendMessage() {
    const int32_t left = axis(pedals::leftBrakeChannel);
    const int32_t right = axis(pedals::rightBrakeChannel);
    JsonMessage message(Serial);
    message.member(F("rudder_position"), axis(pedals::rudderChannel));
    // The service sets both wheel brakes to one value: the harder-pressed pedal's.
    message.member(F("brake_position"), left > right ? left : right);
    message.end();
}

}  // namespace

void setup() {
    Serial.begin(lineBaud);
}

void loop() {
    uint16_t now = 0;
    if (!newMillisecond(now)) return;
    if (static_cast<uint16_t>(now - lastSentMs) >= sendPeriodMs) {
        lastSentMs = now;
        sendMessage();
    }
    idleUntilInterrupt();
}
