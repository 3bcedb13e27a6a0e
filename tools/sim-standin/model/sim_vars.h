// The simulation variables that clients can add to data definitions, read and write.
#pragma once

#include <span>
#include <string_view>

#include "sim-standin/model/aircraft_model.h"
#include "sim-standin/model/sim_units.h"

namespace standin {

struct SimVarInfo {
    std::string_view name;
    ModelVar var;
    VarView view;
    Quantity quantity;
    std::string_view help;
};

std::span<const SimVarInfo> allSimVars();

// The variable a datum name refers to, compared without regard to case. An index suffix
// such as ":1" or ":3" is accepted on every name: the aircraft has one of each.
const SimVarInfo* findSimVar(std::string_view name);

// Value in the variable's base unit.
double readSimVar(const AircraftModel& model, const SimVarInfo& simVar);
void writeSimVar(AircraftModel& model, const SimVarInfo& simVar, double baseValue);

}  // namespace standin
