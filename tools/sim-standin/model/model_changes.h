// Snapshots of every named value of the model, and the log entries for those that changed
// between two snapshots, so the log shows what each request or script action did.
#pragma once

#include <cstdint>
#include <vector>

#include "sim-standin/model/aircraft_model.h"
#include "sim-standin/model/request_log.h"

namespace standin {

struct ModelSnapshot {
    std::vector<double> simVars;        // base units, in the order of allSimVars()
    std::vector<std::int32_t> cockpit;  // published tenths, in the order of allCockpitVars()
};

ModelSnapshot takeSnapshot(const AircraftModel& model);

// {"model": NAME, "value": v, "unit": base unit} for a simulation variable and
// {"cockpit": NAME, "value": tenths} for a cockpit variable.
std::vector<Json> modelChanges(const ModelSnapshot& before, const ModelSnapshot& after);

}  // namespace standin
