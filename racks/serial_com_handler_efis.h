// The captain's EFIS control panel: barometric knob and mode, flight-director and LS
// buttons, navigation-display range and mode, and the option. It reads one 30-byte frame
// of panel state every 50 ms and writes one 22-byte frame of display state every 100 ms.
#pragma once

#include <array>

#include "racks/button_state.h"
#include "racks/serial_com_handler_base.h"

class SerialCOMHandlerEfis : public SerialCOMHandlerBase {
public:
    static constexpr std::int32_t kInputFrameLength = 30;
    static constexpr std::int32_t kOutputFrameLength = 22;

    // Constructed as the base is; both frames and the buttons start cleared.
    using SerialCOMHandlerBase::SerialCOMHandlerBase;

    void run() override;

private:
    // The previous frame's selectors: a change of them is what gets sent.
    struct Selectors {
        std::int32_t baroMode = 0;
        std::int32_t ndRange = 0;
        std::int32_t ndMode = 0;
        std::int32_t option = 0;
    };

    void writeDisplays();
    void fillOutputFrame();
    void handleInputFrame(Selectors& previous);
    void handleNavigationDisplay(Selectors& previous);
    std::int32_t inputField(std::size_t offset) const;

    ButtonState flightDirectorButton;
    ButtonState lsButton;
    std::array<std::uint8_t, kInputFrameLength> inputFrame{};
    std::array<std::uint8_t, kOutputFrameLength> outputFrame{};
};
