// The simulator events that clients can map and transmit, and what each does to the aircraft.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "sim-standin/model/aircraft_model.h"

namespace standin {

struct SimEventInfo {
    std::string_view name;
    void (*apply)(AircraftModel& model, std::int32_t data);
    std::string_view help;
};

std::span<const SimEventInfo> allSimEvents();

// Compared without regard to case.
const SimEventInfo* findSimEvent(std::string_view name);

// A name of the client's own: empty (an event private to the client) or with a period
// ("Custom.Event", an event between clients). Such events do nothing to the aircraft.
bool isClientEventName(std::string_view name);

// The system events a client may subscribe to. Only "SimStart" is ever sent.
bool isSystemEvent(std::string_view name);

}  // namespace standin
