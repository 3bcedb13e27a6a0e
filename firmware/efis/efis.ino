// EFIS control panel rack: the baro knob and mode, the FD and LS buttons, the navigation
// display's range and mode selectors and the option buttons, sent to the service as one
// 30-byte frame every 100 ms; the service's 22-byte frames drive the baro window and the
// lamps ("efis_rack" in rack_config.json).
#include <RackKit.h>
#include <stdlib.h>

#include "efis_pins.h"

namespace {

using namespace rackkit;

constexpr uint8_t inputLength = 30;
constexpr uint8_t outputLength = 22;

QuadratureKnob baroKnob;
PanelSwitch qnh;
PanelSwitch standard;
PanelSwitch fd;
PanelSwitch ls;
PanelSwitch* const switches[] = {&qnh, &standard, &fd, &ls};
const uint8_t lamps[] = {efis::fdLamp, efis::lsLamp, efis::qnhLamp, efis::qfeLamp};
Debouncer optionButtons[efis::optionCount];
Max7219Chain display(efis::display);

uint8_t inputFrame[inputLength];
uint8_t receiveWork[outputLength];
uint8_t received[outputLength];
FrameReceiver receiver(receiveWork, received, outputLength);

int32_t option = 0;  // the option the panel asks for
int32_t aircraftOption = 0;
FramePacer pacer;

void pollOptionButtons(uint16_t now) {
    const uint8_t position = ladderPosition(readChannel(efis::optionChannel), efis::optionPositions);
    for (uint8_t i = 0; i < efis::optionCount; ++i) {
        if (!optionButtons[i].update(position == i, now)) continue;
        // Like the aircraft's buttons: a press selects the option, a press on the lit one
        // clears it.
        const int32_t pressed = i + 1;
        option = aircraftOption == pressed ? 0 : pressed;
    }
}

int32_t baroMode() {
    if (standard.closed()) return 2;
    return qnh.closed() ? 1 : 0;
}

void sendPanelState() {
    putField(inputFrame, 1, baroKnob.take());
    putField(inputFrame, 5, baroMode());
    putField(inputFrame, 9, fd.take());
    putField(inputFrame, 13, ls.take());
    putField(inputFrame, 17, ladderPosition(readChannel(efis::rangeChannel), efis::rangePositions));
    putField(inputFrame, 21, ladderPosition(readChannel(efis::modeChannel), efis::modePositions));
    putField(inputFrame, 25, option);
    sendFrame(Serial, inputFrame, inputLength);
}

void showAircraft(const uint8_t* frame) {
    char text[12];
    display.show(efis::baroWindow, ltoa(getField(frame, 1), text, 10));
    aircraftOption = getField(frame, 5);
    for (uint8_t i = 0; i < efis::optionCount; ++i)
        display.setLamp(efis::optionLamps[i], aircraftOption == i + 1);
    digitalWrite(efis::fdLamp, getField(frame, 9) != 0);
    digitalWrite(efis::lsLamp, getField(frame, 13) != 0);
    const int32_t mode = getField(frame, 17);
    digitalWrite(efis::qfeLamp, mode == 0);
    digitalWrite(efis::qnhLamp, mode == 1);
}

}  // namespace

void setup() {
    Serial.begin(lineBaud);
    baroKnob.begin(efis::baroKnobA, efis::baroKnobB);
    startSampling(&baroKnob, 1);
    qnh.begin(efis::qnhSwitch);
    standard.begin(efis::stdSwitch);
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
    pollOptionButtons(now);
    if (receiver.poll(Serial)) {
        pacer.received(now);
        showAircraft(receiver.latest());
    }
    if (pacer.due(now)) sendPanelState();
    idleUntilInterrupt();
}
