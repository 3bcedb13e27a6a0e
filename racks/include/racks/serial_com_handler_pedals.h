// The pedals rack: the rudder and one toe-brake value for both wheels, sent as JSON text
// messages. Every message writes the rudder and sets both brakes.
#pragma once

#include "racks/serial_com_handler_base.h"

class SerialCOMHandlerPedals : public SerialCOMHandlerBase {
public:
    // Constructed as the base is; the rack's own fields start cleared.
    using SerialCOMHandlerBase::SerialCOMHandlerBase;

    void run() override;

protected:
    // One message's work, on lastMessage: what run does after each message it reads.
    void handleMessage();

private:
    // The rudder in the simulator's "position 16K" unit: definition 3.
    double rudderData = 0.0;
};
