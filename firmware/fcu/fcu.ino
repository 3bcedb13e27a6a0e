// FCU rack: the autopilot's flight control unit. Its knobs, switches and buttons go to the
// service as one 82-byte frame every 100 ms; the service's 50-byte frames drive the SPD,
// HDG, ALT and V/S windows, their managed dots and the mode lamps ("autopilot_rack" in
// rack_config.json).
#include <RackKit.h>
#include <stdlib.h>
#include <string.h>

#include "fcu_pins.h"

// A loop made slower by this many milliseconds, for showing what an overfull receive
// buffer does; 0 in every image that goes on a panel.
#ifndef FCU_EXTRA_LOOP_MS
#define FCU_EXTRA_LOOP_MS 0
#endif

namespace {

using namespace rackkit;

constexpr uint16_t reportPeriodMs = 1000;
constexpr uint8_t inputLength = fcu_controls::length;
constexpr uint8_t outputLength = fcu_displays::length;

struct Knob {
    uint8_t pinA;
    uint8_t pinB;
    uint8_t offset;
};
const Knob knobPins[] = {{fcu::spdKnobA, fcu::spdKnobB, fcu_controls::speedKnob},
                         {fcu::hdgKnobA, fcu::hdgKnobB, fcu_controls::headingKnob},
                         {fcu::altKnobA, fcu::altKnobB, fcu_controls::altitudeKnob},
                         {fcu::vsKnobA, fcu::vsKnobB, fcu_controls::vsKnob}};
constexpr uint8_t knobCount = sizeof knobPins / sizeof knobPins[0];

// Switch k sends its level in the field fcu_controls::switchField(k); the knobs' pulls and pushes
// (k = 0, 1, 12, 13) are held until the aircraft's managed dot changes.
const uint8_t switchPins[] = {
    fcu::spdOnSwitch,  fcu::hdgOnSwitch,     fcu::altHoldOnButton,  fcu::vsHoldButton,
    fcu::locButton,    fcu::ap1Button,       fcu::athrButton,       fcu::apprButton,
    fcu::expedButton,  fcu::altInc100Switch, fcu::altInc1000Switch, fcu::vsPushButton,
    fcu::spdOffSwitch, fcu::hdgOffSwitch,    fcu::altHoldOffButton, fcu::vsPullButton};
constexpr uint8_t switchCount = sizeof switchPins;
static_assert(switchCount == fcu_controls::switchCount, "one field for each switch");

// The speed and heading managed dots as the service's last frame had them.
int32_t speedDot = 0;
int32_t headingDot = 0;

struct KnobPull {
    uint8_t switchIndex;
    const int32_t* dot;  // the managed dot it waits on
};
const KnobPull knobPulls[] = {{0, &speedDot}, {1, &headingDot}, {12, &speedDot}, {13, &headingDot}};
constexpr uint8_t pullCount = sizeof knobPulls / sizeof knobPulls[0];

// The lamps in the order of their bits in the lights field, then TRK/FPA.
const uint8_t modeLamps[] = {fcu::locLamp, fcu::ap1Lamp, fcu::athrLamp, fcu::expedLamp, fcu::apprLamp};

const DisplayWindow windows[] = {fcu::spdWindow, fcu::hdgWindow, fcu::altWindow, fcu::vsWindow};

QuadratureKnob knobs[knobCount];
PanelSwitch switches[switchCount];
HeldUntilChange pulls[pullCount];
Max7219Chain display(fcu::display);

uint8_t inputFrame[inputLength];
uint8_t receiveWork[outputLength];
uint8_t received[outputLength];
FrameReceiver receiver(receiveWork, received, outputLength);

uint16_t sentMs = 0;
uint16_t lastReportMs = 0;

void pollSwitches(uint16_t now) {
    for (PanelSwitch& contact : switches) contact.poll(now);
    for (uint8_t p = 0; p < pullCount; ++p)
        pulls[p].update(switches[knobPulls[p].switchIndex].closed(), *knobPulls[p].dot, now);
}

void sendPanelState() {
    for (uint8_t i = 0; i < knobCount; ++i) putField(inputFrame, knobPins[i].offset, knobs[i].take());
    for (uint8_t i = 0; i < switchCount; ++i) putField(inputFrame, fcu_controls::switchField(i), switches[i].take());
    for (uint8_t p = 0; p < pullCount; ++p) putField(inputFrame, fcu_controls::switchField(knobPulls[p].switchIndex), pulls[p].level());
    sendFrame(Serial, inputFrame, inputLength);
}

void followDots(const uint8_t* frame) {
    speedDot = getField(frame, fcu_displays::speedManagedDot);
    headingDot = getField(frame, fcu_displays::headingManagedDot);
}

// `value` in decimal, with the managed dot after it when `dot`.
void showNumber(const DisplayWindow& window, int32_t value, bool dot) {
    char text[14];
    ltoa(value, text, 10);
    if (dot) strcat(text, ".");
    display.show(window, text);
}

void showHeading(const uint8_t* frame) {
    char text[8] = "---";
    if (getField(frame, fcu_displays::showHeading) != 0) {
        const int32_t heading = getField(frame, fcu_displays::heading);
        // Headings keep their leading zeros: 005.
        text[0] = '0' + (heading / 100) % 10;
        text[1] = '0' + (heading / 10) % 10;
        text[2] = '0' + heading % 10;
    }
    if (getField(frame, fcu_displays::headingManagedDot) != 0) strcat(text, ".");
    display.show(fcu::hdgWindow, text);
}

// V/S in feet per minute, or in TRK/FPA mode the flight-path angle from tenths of a
// degree (-15 shows -1.5); dashes while it is managed.
void showVertical(const uint8_t* frame) {
    if (getField(frame, fcu_displays::vsManaged) != 0) {
        display.show(fcu::vsWindow, "----");
        return;
    }
    if (getField(frame, fcu_displays::trackFpaMode) == 0) {
        showNumber(fcu::vsWindow, getField(frame, fcu_displays::verticalSpeed), false);
        return;
    }
    const int32_t tenths = getField(frame, fcu_displays::flightPathAngle);
    const int32_t magnitude = tenths < 0 ? -tenths : tenths;
    char text[16] = "";
    if (tenths < 0) strcpy(text, "-");
    ltoa(magnitude / 10, text + strlen(text), 10);
    const char fraction[] = {'.', static_cast<char>('0' + magnitude % 10), '\0'};
    strcat(text, fraction);
    display.show(fcu::vsWindow, text);
}

void showAircraft(const uint8_t* frame) {
    showNumber(fcu::spdWindow, getField(frame, fcu_displays::speed),
               getField(frame, fcu_displays::speedManagedDot) != 0);
    showHeading(frame);
    showNumber(fcu::altWindow, getField(frame, fcu_displays::altitude),
               getField(frame, fcu_displays::altitudeManaged) != 0);
    showVertical(frame);
    const int32_t lights = getField(frame, fcu_displays::modeLights);
    for (uint8_t bit = 0; bit < sizeof modeLamps; ++bit) digitalWrite(modeLamps[bit], (lights >> bit) & 1);
    digitalWrite(fcu::trkFpaLamp, getField(frame, fcu_displays::trackFpaMode) != 0);
}

void reportLink() {
    const LinkCounters& counts = receiver.counters();
    Serial1.print(F("link frames="));
    Serial1.print(counts.frames);
    Serial1.print(F(" broken="));
    Serial1.print(counts.broken);
    Serial1.print(F(" skipped="));
    Serial1.print(counts.skipped);
    Serial1.print(F(" full="));
    Serial1.println(counts.full);
}

}  // namespace

void setup() {
    Serial.begin(lineBaud);
    Serial1.begin(lineBaud);
    for (uint8_t i = 0; i < knobCount; ++i)
        knobs[i].begin(knobPins[i].pinA, knobPins[i].pinB, fcu::knobDetentsPerCycle);
    startSampling(knobs, knobCount);
    for (uint8_t i = 0; i < switchCount; ++i) switches[i].begin(switchPins[i]);
    for (uint8_t lamp : modeLamps) pinMode(lamp, OUTPUT);
    pinMode(fcu::trkFpaLamp, OUTPUT);
    display.begin();
    // Dashes until the service's first frame tells the aircraft's values.
    for (const DisplayWindow& window : windows) display.show(window, "-----");
}

void loop() {
    uint16_t now = 0;
    if (!newMillisecond(now)) return;
    pollSwitches(now);
    if (receiver.poll(Serial)) {
        followDots(receiver.latest());
        showAircraft(receiver.latest());
    }
    if (static_cast<uint16_t>(now - sentMs) >= framePeriodMs) {
        sentMs = now;
        sendPanelState();
    }
    if (static_cast<uint16_t>(now - lastReportMs) >= reportPeriodMs) {
        lastReportMs = now;
        reportLink();
    }
    if (FCU_EXTRA_LOOP_MS > 0) delay(FCU_EXTRA_LOOP_MS);
    idleUntilInterrupt();
}
