#include "racks/serial_com_handler_joystick.h"

#include "app/sim_ids.h"
#include "racks/rack_values.h"

namespace {

// One press of a speed-brake switch moves the handle by this many steps.
constexpr int kSpoilerSteps = 25;

}  // namespace

void SerialCOMHandlerJoystick::run() {
    serveMessages([this] { handleMessage(); });
}

// Members are read and acted on in this order, so the events of the earlier members are
// already sent when a later member turns out missing or of the wrong type.
void SerialCOMHandlerJoystick::handleMessage() {
    storeStick();
    handleTrims();
    handleSpoilers();
    handleAutopilotMaster();
    writeStick();
}

void SerialCOMHandlerJoystick::storeStick() {
    stickData[0] = rackvalue::memberAsDouble(lastMessage, "aileron_position");
    stickData[1] = rackvalue::memberAsDouble(lastMessage, "elevator_position");
    stickData[2] = rackvalue::memberAsInt32(lastMessage, "camera_point_of_interest") > 0 ? 1.0 : 0.0;
}

void SerialCOMHandlerJoystick::handleTrims() {
    trimRightButton.update(rackvalue::memberAsInt32(lastMessage, "rudder_trim_plus_pct"));
    trimLeftButton.update(rackvalue::memberAsInt32(lastMessage, "rudder_trim_minus_pct"));
    if (trimRightButton.rising) transmitEvent(rackevent::rudderTrimRight, 0);
    if (trimLeftButton.rising) transmitEvent(rackevent::rudderTrimLeft, 0);
}

void SerialCOMHandlerJoystick::handleSpoilers() {
    spoilerExtendButton.update(rackvalue::memberAsInt32(lastMessage, "spoiler_handle_plus_position"));
    spoilerRetractButton.update(rackvalue::memberAsInt32(lastMessage, "spoiler_handle_minus_position"));
    if (spoilerExtendButton.rising) transmitEvent(rackevent::spoilersInc, 0, kSpoilerSteps);
    if (spoilerRetractButton.rising) transmitEvent(rackevent::spoilersDec, 0, kSpoilerSteps);
}

void SerialCOMHandlerJoystick::handleAutopilotMaster() {
    autopilotMasterButton.update(rackvalue::memberAsInt32(lastMessage, "autopilot_master"));
    if (autopilotMasterButton.rising) transmitEvent(rackevent::apMaster, 0);
}

void SerialCOMHandlerJoystick::writeStick() {
    SimCallGuard(*simSession, *rackMutexPtr)
        .setData(rackdata::kStickDefinition, sizeof stickData, stickData.data());
}
