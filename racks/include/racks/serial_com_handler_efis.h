// The captain's EFIS control panel: barometric knob and mode, flight-director and LS
// buttons, navigation-display range and mode, and the option. It reads one 30-byte frame
// of panel state every 50 ms and writes one 22-byte frame of display state every 100 ms.
#pragma once

#include "racks/button_state.h"
#include "racks/serial_com_handler_panel.h"

class SerialCOMHandlerEfis : public SerialCOMHandlerPanel<30, 22> {
public:
    // Constructed as the base is; both frames and the buttons start cleared.
    using SerialCOMHandlerPanel::SerialCOMHandlerPanel;

    void run() override;

protected:
    // The previous frame's selectors: a change of them is what gets sent.
    struct Selectors {
        std::int32_t baroMode = 0;
        std::int32_t ndRange = 0;
        std::int32_t ndMode = 0;
        std::int32_t option = 0;
    };

    // One input frame's work, on inputFrame: what run does after each frame it reads.
    void handleInputFrame(Selectors& previous);

private:
    void fillOutputFields(const SimState& state) override;
    void handleNavigationDisplay(Selectors& previous);
    // Sleeps until the next pass in which a part is due.
    void restUntilDue();

    ButtonState flightDirectorButton;
    ButtonState lsButton;
};
