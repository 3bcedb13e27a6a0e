#include "sim-standin/model/model_changes.h"

#include "sim-standin/model/cockpit_vars.h"
#include "sim-standin/model/sim_vars.h"

namespace standin {

ModelSnapshot takeSnapshot(const AircraftModel& model) {
    ModelSnapshot snapshot;
    for (const SimVarInfo& var : allSimVars()) snapshot.simVars.push_back(readSimVar(model, var));
    for (const CockpitVarInfo& cockpit : allCockpitVars()) {
        snapshot.cockpit.push_back(publishedTenths(model, cockpit));
    }
    return snapshot;
}

std::vector<Json> modelChanges(const ModelSnapshot& before, const ModelSnapshot& after) {
    std::vector<Json> changes;
    const auto simVars = allSimVars();
    for (std::size_t i = 0; i < simVars.size(); ++i) {
        if (before.simVars[i] == after.simVars[i]) continue;
        changes.push_back(Json{{"model", simVars[i].name},
                               {"value", after.simVars[i]},
                               {"unit", baseUnitName(simVars[i].quantity)}});
    }
    const auto cockpit = allCockpitVars();
    for (std::size_t i = 0; i < cockpit.size(); ++i) {
        if (before.cockpit[i] == after.cockpit[i]) continue;
        changes.push_back(Json{{"cockpit", cockpit[i].name}, {"value", after.cockpit[i]}});
    }
    return changes;
}

}  // namespace standin
