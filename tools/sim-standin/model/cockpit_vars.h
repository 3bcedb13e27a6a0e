// The companion module's 27 cockpit variables: each has a downlink slot where its value is
// published in tenths. Plain variables show a model value; the calculator-code entries are
// commands that act on the model when triggered and publish 0.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "sim-standin/model/aircraft_model.h"

namespace standin {

struct CockpitVarInfo {
    std::string_view name;
    std::uint16_t offset;  // payload offset of the slot: block bytes 4+offset to 7+offset
    ModelVar var;          // ModelVar::Count for a command
    VarView view;
    void (*command)(AircraftModel& model);  // null for a plain variable
    std::string_view help;
};

std::span<const CockpitVarInfo> allCockpitVars();

// Compared exactly, as the companion compares its names.
const CockpitVarInfo* findCockpitVar(std::string_view name);

// The variable's value in its own unit; a command reads 0.
double readCockpitVar(const AircraftModel& model, const CockpitVarInfo& cockpit);
std::int32_t publishedTenths(const AircraftModel& model, const CockpitVarInfo& cockpit);

// The uplink's two commands. The returned text says what happened, for the log.
std::string setCockpitVar(AircraftModel& model, std::string_view name, double value);
std::string triggerCockpit(AircraftModel& model, std::string_view name);

}  // namespace standin
