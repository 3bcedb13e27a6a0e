// Timed actions read from a script file: one JSON object per line, each with "at" (seconds
// since the stand-in started) and one action:
//   {"at": 2.5, "set": "A32NX_AUTOPILOT_SPEED_SELECTED", "value": 250}
//   {"at": 3, "set": "AUTOPILOT ALTITUDE LOCK VAR", "value": 5000, "unit": "feet"}
//   {"at": 4, "event": "AP_MASTER", "data": 0}
//   {"at": 5, "trigger": "(>H:A320_Neo_FCU_EXPED_PUSH)"}
//   {"at": 1, "start_flight": true}
//   {"at": 30, "quit": true}     {"at": 30, "break": true}
// Blank lines and lines starting with '#' are skipped. Actions run in the order of their
// times; actions with the same time in the order of the file.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "sim-standin/model/aircraft_model.h"
#include "sim-standin/model/request_log.h"

namespace standin {

struct ScriptAction {
    enum class Kind { Set, Event, Trigger, StartFlight, Quit, Break };

    double at = 0;
    Kind kind = Kind::Set;
    std::string name;
    double value = 0;  // Set: in the variable's unit; Event: the data
    std::string unit;  // Set on a simulation variable: empty for its base unit
    Json source;       // the line as written, for the log
};

struct ScriptLoad {
    std::vector<ScriptAction> actions;
    std::string error;  // "line 3: ..." when the script cannot be used
};

ScriptLoad parseScript(std::istream& in);
ScriptLoad loadScript(const std::string& path);

// Carries out a Set, Event or Trigger action on the model.
void applyToModel(const ScriptAction& action, AircraftModel& model);

}  // namespace standin
