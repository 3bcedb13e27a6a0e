#include "sim-standin/model/scenario_script.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>

#include "sim-standin/model/cockpit_vars.h"
#include "sim-standin/model/sim_events.h"
#include "sim-standin/model/sim_vars.h"

namespace standin {
namespace {

using Kind = ScriptAction::Kind;

// Fills the action from the line's members; returns the problem, empty when sound.
std::string readSet(const Json& line, ScriptAction& action) {
    action.kind = Kind::Set;
    if (!line["set"].is_string()) return "\"set\" needs a variable name";
    action.name = line["set"].get<std::string>();
    if (!line.contains("value") || !line["value"].is_number())
        return "\"set\" needs a number \"value\"";
    action.value = line["value"].get<double>();
    if (line.contains("unit")) {
        if (!line["unit"].is_string()) return "\"unit\" must be text";
        action.unit = line["unit"].get<std::string>();
    }
    const CockpitVarInfo* cockpit = findCockpitVar(action.name);
    if (cockpit != nullptr) {
        if (cockpit->command != nullptr) return action.name + " is a command: use \"trigger\"";
        return action.unit.empty() ? "" : "cockpit variables take no \"unit\"";
    }
    const SimVarInfo* var = findSimVar(action.name);
    if (var == nullptr) return "unknown variable " + action.name;
    if (!action.unit.empty() && !findUnit(action.unit, var->quantity)) {
        return "unit " + action.unit + " does not measure " + action.name;
    }
    return "";
}

std::string readEvent(const Json& line, ScriptAction& action) {
    action.kind = Kind::Event;
    if (!line["event"].is_string()) return "\"event\" needs an event name";
    action.name = line["event"].get<std::string>();
    if (findSimEvent(action.name) == nullptr) return "unknown event " + action.name;
    if (line.contains("data")) {
        const Json& data = line["data"];
        const bool fits = data.is_number_integer() && data.get<std::int64_t>() >= INT32_MIN &&
                          (data.is_number_unsigned() ? data.get<std::uint64_t>() <= INT32_MAX
                                                     : data.get<std::int64_t>() <= INT32_MAX);
        if (!fits) return "\"data\" must be a whole number of 32 bits";
        action.value = data.get<double>();
    }
    return "";
}

std::string readTrigger(const Json& line, ScriptAction& action) {
    action.kind = Kind::Trigger;
    if (!line["trigger"].is_string()) return "\"trigger\" needs a cockpit command or variable";
    action.name = line["trigger"].get<std::string>();
    return findCockpitVar(action.name) ? "" : "unknown cockpit name " + action.name;
}

std::string readAction(const Json& line, ScriptAction& action) {
    if (!line.is_object()) return "not a JSON object";
    if (!line.contains("at") || !line["at"].is_number()) return "needs a number \"at\"";
    action.at = line["at"].get<double>();
    if (!std::isfinite(action.at) || action.at < 0) return "\"at\" must be 0 or more seconds";
    action.source = line;
    if (line.contains("set")) return readSet(line, action);
    if (line.contains("event")) return readEvent(line, action);
    if (line.contains("trigger")) return readTrigger(line, action);
    const std::pair<const char*, Kind> flags[] = {
        {"start_flight", Kind::StartFlight}, {"quit", Kind::Quit}, {"break", Kind::Break}};
    for (const auto& [key, kind] : flags) {
        if (!line.contains(key)) continue;
        action.kind = kind;
        return line[key] == true ? "" : std::string("\"") + key + "\" must be true";
    }
    return "no action: use set, event, trigger, start_flight, quit or break";
}

}  // namespace

ScriptLoad parseScript(std::istream& in) {
    ScriptLoad load;
    std::string text;
    for (int number = 1; std::getline(in, text); ++number) {
        const auto first = text.find_first_not_of(" \t\r");
        if (first == std::string::npos || text[first] == '#') continue;
        const Json line = Json::parse(text, nullptr, false);
        ScriptAction action;
        const std::string problem =
            line.is_discarded() ? "not valid JSON" : readAction(line, action);
        if (!problem.empty()) {
            load.error = "line " + std::to_string(number) + ": " + problem;
            load.actions.clear();
            return load;
        }
        load.actions.push_back(std::move(action));
    }
    std::stable_sort(load.actions.begin(), load.actions.end(),
                     [](const ScriptAction& a, const ScriptAction& b) { return a.at < b.at; });
    return load;
}

ScriptLoad loadScript(const std::string& path) {
    std::ifstream in(path);
    if (!in) return ScriptLoad{{}, "cannot read " + path};
    ScriptLoad load = parseScript(in);
    if (!load.error.empty()) load.error = path + " " + load.error;
    return load;
}

void applyToModel(const ScriptAction& action, AircraftModel& model) {
    switch (action.kind) {
        case Kind::Set:
            if (findCockpitVar(action.name) != nullptr) {
                setCockpitVar(model, action.name, action.value);
            } else if (const SimVarInfo* var = findSimVar(action.name)) {
                const auto unit =
                    findUnit(action.unit.empty() ? "number" : action.unit, var->quantity);
                writeSimVar(model, *var, action.value / unit->perBase);
            }
            return;
        case Kind::Event:
            findSimEvent(action.name)->apply(model, static_cast<std::int32_t>(action.value));
            return;
        case Kind::Trigger:
            triggerCockpit(model, action.name);
            return;
        default:
            return;
    }
}

}  // namespace standin
