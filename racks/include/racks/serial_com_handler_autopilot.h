// The flight control unit: speed, heading, altitude and vertical-speed knobs with their
// mode controls, the autopilot, autothrust, localizer, approach and expedite buttons and
// the altitude-increment selector. It reads one 82-byte frame of panel state every 50 ms
// and writes one 50-byte frame of selected values, managed dots and mode lights every
// 100 ms, sleeping in between until the earlier of the two falls due.
#pragma once

#include <cstdint>

#include "racks/button_state.h"
#include "racks/serial_com_handler_panel.h"

class SerialCOMHandlerAutopilot : public SerialCOMHandlerPanel<82, 50> {
public:
    // Constructed as the base is; the frames, the buttons and the repeat timer start
    // cleared.
    using SerialCOMHandlerPanel::SerialCOMHandlerPanel;

    void run() override;

protected:
    // One input frame's work, on inputFrame: what a pass does after each frame it reads.
    // Held switches repeat when `repeatElapsed` is over the repeat interval.
    void handleInputFrame(std::uint64_t repeatElapsed);

private:
    // One pass of the loop; false once the simulator has quit.
    bool runPass();
    void fillOutputFields(const SimState& state) override;
    void handleKnobs();
    void handleRepeatingSwitches(std::uint64_t repeatElapsed);
    void handlePresses();
    void handleCommandPresses();

    ButtonState locButton;
    ButtonState autopilotMasterButton;
    ButtonState athrButton;
    ButtonState apprButton;
    ButtonState expedButton;
    ButtonState altIncrement100Button;
    ButtonState altIncrement1000Button;
    ButtonState vsHoldButton;
    MillisTimer repeatTimer;
    ButtonState vsPushButton;
    ButtonState vsPullButton;
    ButtonState altHoldOnButton;
    ButtonState altHoldOffButton;
};
