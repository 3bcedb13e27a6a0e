#include "tools/sim-standin/model_changes.h"

#include "tools/sim-standin/cockpit_vars.h"
#include "tools/sim-standin/sim_vars.h"

namespace standin {

ModelSnapshot takeSnapshot(const AircraftModel& model) {
    ModelSnapshot snapshot;
    for (const SimVarSpec& spec : simVarSpecs())
        snapshot.simVars.push_back(readSimVar(model, spec));
    for (const CockpitVarSpec& spec : cockpitVarSpecs()) {
        snapshot.cockpit.push_back(publishedTenths(model, spec));
    }
    return snapshot;
}

std::vector<Json> modelChanges(const ModelSnapshot& before, const ModelSnapshot& after) {
    std::vector<Json> changes;
    const auto simVars = simVarSpecs();
    for (std::size_t i = 0; i < simVars.size(); ++i) {
        if (before.simVars[i] == after.simVars[i]) continue;
        changes.push_back(Json{{"model", simVars[i].name},
                               {"value", after.simVars[i]},
                               {"unit", baseUnitName(simVars[i].quantity)}});
    }
    const auto cockpit = cockpitVarSpecs();
    for (std::size_t i = 0; i < cockpit.size(); ++i) {
        if (before.cockpit[i] == after.cockpit[i]) continue;
        changes.push_back(Json{{"cockpit", cockpit[i].name}, {"value", after.cockpit[i]}});
    }
    return changes;
}

}  // namespace standin
