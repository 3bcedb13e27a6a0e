#include "racks/serial_com_handler_pedals.h"

#include "app/sim_ids.h"
#include "racks/rack_values.h"

void SerialCOMHandlerPedals::run() {
    serveMessages([this] { handleMessage(); });
}

// Both members are read before anything is sent, so a bad brake value sends nothing of
// its message. The brake value travels as the events' 32-bit data.
void SerialCOMHandlerPedals::handleMessage() {
    rudderData = rackvalue::memberAsDouble(lastMessage, "rudder_position");
    const auto brake = static_cast<DWORD>(rackvalue::memberAsInt32(lastMessage, "brake_position"));
    SimCallGuard call(*simSession, *rackMutexPtr);
    if (!call.connectionOpen()) return;
    call.setData(rackdata::kRudderDefinition, sizeof rudderData, &rudderData);
    call.transmitEvent(rackevent::axisLeftBrakeSet, brake);
    call.transmitEvent(rackevent::axisRightBrakeSet, brake);
    const std::string value = std::to_string(brake);
    rackProbe().sent(rackevent::eventName(rackevent::axisLeftBrakeSet), 1, value);
    rackProbe().sent(rackevent::eventName(rackevent::axisRightBrakeSet), 1, value);
}
