// The joystick rack: roll and pitch axes, the smart camera, two rudder-trim switches, two
// speed-brake switches and the autopilot-master button, sent as JSON text messages. The
// axes and the camera go to the simulator as one data write, the presses as events.
#pragma once

#include <array>

#include "racks/button_state.h"
#include "racks/serial_com_handler_base.h"

class SerialCOMHandlerJoystick : public SerialCOMHandlerBase {
public:
    // Constructed as the base is; the rack's own fields start cleared.
    using SerialCOMHandlerBase::SerialCOMHandlerBase;

    void run() override;

protected:
    // One message's work, on lastMessage: what run does after each message it reads.
    void handleMessage();

private:
    void storeStick();
    void handleTrims();
    void handleSpoilers();
    void handleAutopilotMaster();
    void writeStick();

    ButtonState trimRightButton;
    ButtonState trimLeftButton;
    ButtonState spoilerExtendButton;
    ButtonState spoilerRetractButton;
    ButtonState autopilotMasterButton;
    // Aileron and elevator in percent, then the camera as 0.0 or 1.0: definition 2.
    std::array<double, 3> stickData{};
};
