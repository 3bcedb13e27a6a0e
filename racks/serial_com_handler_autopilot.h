// The flight control unit: speed, heading, altitude and vertical-speed knobs with their
// mode controls, the autopilot, autothrust, localizer, approach and expedite buttons and
// the altitude-increment selector. It reads one 82-byte frame of panel state every 50 ms
// and writes one 50-byte frame of selected values, managed dots and mode lights every
// 100 ms, sleeping in between until the earlier of the two falls due.
#pragma once

#include <array>
#include <cstdint>

#include "racks/button_state.h"
#include "racks/serial_com_handler_base.h"

class SerialCOMHandlerAutopilot : public SerialCOMHandlerBase {
public:
    static constexpr std::int32_t kInputFrameLength = 82;
    static constexpr std::int32_t kOutputFrameLength = 50;

    // Constructed as the base is; the frames, the buttons and the repeat timer start
    // cleared.
    using SerialCOMHandlerBase::SerialCOMHandlerBase;

    void run() override;

private:
    // One pass of the loop; false once the simulator has quit.
    bool runPass();
    void writeDisplays();
    void fillOutputFrame();
    void handleInputFrame(std::uint64_t repeatElapsed);
    void handleKnobs();
    void handleRepeatingSwitches(std::uint64_t repeatElapsed);
    void handlePresses();
    void handleCommandPresses();
    std::int32_t inputField(std::size_t offset) const;

    ButtonState locButton;
    ButtonState autopilotMasterButton;
    ButtonState athrButton;
    ButtonState apprButton;
    ButtonState expedButton;
    ButtonState altIncrement100Button;
    ButtonState altIncrement1000Button;
    ButtonState vsHoldButton;
    std::array<std::uint8_t, kInputFrameLength> inputFrame{};
    std::array<std::uint8_t, kOutputFrameLength> outputFrame{};
    MillisTimer repeatTimer;
    ButtonState vsPushButton;
    ButtonState vsPullButton;
    ButtonState altHoldOnButton;
    ButtonState altHoldOffButton;
};
