// EFIS control panel rack: the baro knob and mode, the FD and LS buttons, the navigation
// display's range and mode selectors and the option buttons, sent to the service as one
// 30-byte frame every 100 ms; the service's 22-byte frames drive the baro window and the
// lamps ("efis_rack" in rack_config.json).
#include <RackKit.h>
#include <stdlib.h>

#include "efis_pins.h"

namespace {

using namespace rackkit;

constexpr uint8_t inputLength = efis_controls::length;
constexpr uint8_t outputLength = efis_displays::length;
// The aircraft's baro modes: 0 QFE, 1 QNH, 2 and 3 STD.
constexpr int32_t stdMode = 2;

QuadratureKnob baroKnob;
PanelSwitch qnh;
PanelSwitch stdButton;
PanelSwitch fd;
PanelSwitch ls;
PanelSwitch* const switches[] = {&qnh, &fd, &ls};
const uint8_t lamps[] = {efis::fdLamp, efis::lsLamp, efis::qnhLamp, efis::qfeLamp};
Debouncer optionButtons[efis::optionCount];
SteadyPosition range;
SteadyPosition mode;
Max7219Chain display(efis::display);

uint8_t inputFrame[inputLength];
uint8_t receiveWork[outputLength];
uint8_t received[outputLength];
FrameReceiver receiver(receiveWork, received, outputLength);

// The option (0 none, 1 to 5) and STD (1 in STD) the panel asks for, following the
// aircraft's between presses.
FollowedSetting option;
FollowedSetting standard;
uint16_t sentMs = 0;
uint16_t ladderMs = 0;
// The ladders are read this often: three conversions take a third of a millisecond.
constexpr uint16_t ladderPeriodMs = 2;

void pollOptionButtons(uint16_t now) {
    const uint8_t position = ladderPosition(readLadder(efis::optionChannel), efis::optionPositions);
    for (uint8_t i = 0; i < efis::optionCount; ++i) {
        if (!optionButtons[i].update(position == i, now)) continue;
        // Like the aircraft's buttons: a press selects the option, a press on the lit one
        // clears it.
        const int32_t pressed = i + 1;
        option.request(option.aircraft() == pressed ? 0 : pressed, now);
    }
}

void pollSelectors(uint16_t now) {
    range.update(ladderPosition(readLadder(efis::rangeChannel), efis::rangePositions), now);
    mode.update(ladderPosition(readLadder(efis::modeChannel), efis::modePositions), now);
}

int32_t baroMode() {
    if (standard.value() != 0) return stdMode;
    return qnh.closed() ? 1 : 0;
}

void sendPanelState() {
    putField(inputFrame, efis_controls::baroKnob, baroKnob.take());
    putField(inputFrame, efis_controls::baroMode, baroMode());
    putField(inputFrame, efis_controls::flightDirector, fd.take());
    putField(inputFrame, efis_controls::ls, ls.take());
    putField(inputFrame, efis_controls::ndRange, range.value());
    putField(inputFrame, efis_controls::ndMode, mode.value());
    putField(inputFrame, efis_controls::option, option.value());
    sendFrame(Serial, inputFrame, inputLength);
}

void showAircraft(const uint8_t* frame, uint16_t now) {
    char text[12];
    display.show(efis::baroWindow, ltoa(getField(frame, efis_displays::baro), text, 10));
    option.aircraftShows(getField(frame, efis_displays::option), now);
    for (uint8_t i = 0; i < efis::optionCount; ++i)
        display.setLamp(efis::optionLamps[i], option.aircraft() == i + 1);
    digitalWrite(efis::fdLamp, getField(frame, efis_displays::flightDirector) != 0);
    digitalWrite(efis::lsLamp, getField(frame, efis_displays::ls) != 0);
    const int32_t aircraftMode = getField(frame, efis_displays::baroMode);
    standard.aircraftShows(aircraftMode >= stdMode ? 1 : 0, now);
    digitalWrite(efis::qfeLamp, aircraftMode == 0);
    digitalWrite(efis::qnhLamp, aircraftMode == 1);
}

}  // namespace

void setup() {
    Serial.begin(lineBaud);
    baroKnob.begin(efis::baroKnobA, efis::baroKnobB, efis::knobDetentsPerCycle);
    startSampling(&baroKnob, 1);
    qnh.begin(efis::qnhSwitch);
    stdButton.begin(efis::stdButton);
    fd.begin(efis::fdButton);
    ls.begin(efis::lsButton);
    for (uint8_t lamp : lamps) pinMode(lamp, OUTPUT);
    display.begin();
    // Dashes until the service's first frame tells the aircraft's setting.
    display.show(efis::baroWindow, "----");
}

void loop() {
    uint16_t now = 0;
    if (!newMillisecond(now)) return;
    for (PanelSwitch* contact : switches) contact->poll(now);
    if (stdButton.poll(now)) standard.request(standard.value() != 0 ? 0 : 1, now);
    if (static_cast<uint16_t>(now - ladderMs) >= ladderPeriodMs) {
        ladderMs = now;
        pollOptionButtons(now);
        pollSelectors(now);
    }
    if (receiver.poll(Serial)) showAircraft(receiver.latest(), now);
    if (static_cast<uint16_t>(now - sentMs) >= framePeriodMs) {
        sentMs = now;
        sendPanelState();
    }
    idleUntilInterrupt();
}
