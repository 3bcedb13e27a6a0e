// The rack names the configuration knows. "radio_rack" selects no handler.
#pragma once

#include <string>

inline const std::string joystickRackName = "joystick_rack";
inline const std::string pedalsRackName = "pedals_rack";
inline const std::string radioRackName = "radio_rack";
inline const std::string efisRackName = "efis_rack";
inline const std::string autopilotRackName = "autopilot_rack";
