#include "sim-standin/cli/help_text.h"

#include <iomanip>
#include <sstream>

#include "sim-standin/model/cockpit_vars.h"
#include "sim-standin/model/sim_events.h"
#include "sim-standin/model/sim_vars.h"

namespace standin {
namespace {

constexpr const char* kConsole =
    R"HELP(Console: once listening, one line "sim-standin: ready pipe=PATH ipv4=127.0.0.1:N
ipv6=[::1]:N" naming the endpoints it has; then a line per session connected, closed or
malformed, and one for the ending. Exit code 0 after a quit, a break or SIGINT/SIGTERM
(which quit); 1 when it cannot listen or write its log; 2 for a bad command line or script.
)HELP";

constexpr const char* kProtocol = R"HELP(
Protocol: every connection is a session of its own (ids 1, 2, ...). Requests are framed
by their dwSize; a length below 16 or above 41088, or a request cut short at close, closes
that connection (logged as malformed). The first request must be the OPEN request: it is
answered with SIMCONNECT_RECV_OPEN (308 bytes); earlier requests get UNOPENED, a second
OPEN gets ERROR. A rejected request gets one SIMCONNECT_RECV_EXCEPTION carrying its
dwSendID, with dwIndex the 1-based argument (after the handle) at fault or 0xFFFFFFFF:
UNRECOGNIZED_ID for an unknown request id, event id, definition, client-data id or object
(only the user aircraft, 0); SIZE_MISMATCH for a dwSize that does not fit the request or a
cbUnitSize that does not fit the definition; NAME_UNRECOGNIZED for an unknown event,
system event, variable, unit (or one that does not measure the variable) or client-data
name; EVENT_ID_DUPLICATE and DUPLICATE_ID for ids mapped twice; OUT_OF_BOUNDS for an
unknown datum type, period or client-data size and beyond 2000 declarations; ERROR for a
write to the read-only downlink. Data requests honour period (ONCE, VISUAL_FRAME and
SIM_FRAME at 30 a second, SECOND, ON_SET for client data), origin, interval, limit and
the CHANGED flag (the first answer always goes out; later ones only when a datum moved by
more than its epsilon or a byte changed); object data comes in the datum types INT32,
INT64, FLOAT32 and FLOAT64. An ON_SET request on client data sends the current block at
once and then after each write to the area (with CHANGED, only when its bytes changed).
Every message starts with dwVersion 5.
)HELP";

constexpr const char* kCompanion = R"HELP(
The companion module creates "orvendale.downlink" (read-only for clients) and
"orvendale.uplink", 132 bytes each, at start. Downlink: bytes 0 to 3 count the
publications; the slot at payload offset k (bytes 4+k to 7+k) holds the cockpit
variable's value in tenths as a signed 32-bit number, republished whenever a model change
alters a slot. Uplink: each write is one command: bytes 0 to 3 a sequence word, byte 4
the kind; kind 2 (trigger) names a command from byte 5, which is executed, or a flag
variable, which toggles; kind 3 (set) carries a signed 16-bit value at bytes 5 and 6 and
the variable's name from byte 7, and sets it. Other names and kinds are logged and ignored.
)HELP";

constexpr const char* kScript = R"HELP(
Script (--script FILE): one JSON object per line; '#' lines and blank lines are skipped.
Times are seconds since the stand-in started; equal times keep the file's order. An
example is tools/sim-standin/examples/short_flight.jsonl in the sources.
  {"at": 2.5, "set": "A32NX_AUTOPILOT_SPEED_SELECTED", "value": 250}   cockpit variable,
                                                                       in its own unit
  {"at": 3, "set": "AUTOPILOT ALTITUDE LOCK VAR", "value": 5000, "unit": "feet"}
                                               simulation variable (default: base unit)
  {"at": 4, "event": "AP_MASTER", "data": 0}   a simulator event, as if from the cockpit
  {"at": 5, "trigger": "(>H:A320_Neo_FCU_EXPED_PUSH)"}   an uplink trigger
  {"at": 1, "start_flight": true}   {"at": 30, "quit": true}   {"at": 30, "break": true}
)HELP";

constexpr const char* kLog = R"HELP(
Log (--log FILE): one JSON object per line, flushed per line. "t" is seconds since start,
"mono_ns" the steady clock in nanoseconds (CLOCK_MONOTONIC, comparable across processes),
"session" the session id (absent for lines of no session).
  {"t":0.0,"event":"listening","pipe":PATH,"ipv4":N,"ipv6":N}
  {"t":..,"session":1,"event":"connect","endpoint":"pipe"|"ipv4"|"ipv6"}
  {"t":..,"session":1,"dir":"in","request":"TransmitClientEvent","dwSendID":7,"size":36,
   "fields":{"ObjectID":0,"EventID":1,"dwData":0,"GroupID":1,"Flags":16,
   "event":"AP_MASTER","data":0},"exception":"UNRECOGNIZED_ID"}   (exception if rejected)
     request names: Open, MapClientEventToSimEvent, TransmitClientEvent,
     AddToDataDefinition, RequestDataOnSimObject, SetDataOnSimObject,
     SubscribeToSystemEvent, MapClientDataNameToID, AddToClientDataDefinition,
     RequestClientData, SetClientData, or "unknown" (fields {"dwID":N}); fields are the
     request's own by their published names, plus: TransmitClientEvent "event" and
     "data" (signed); SetDataOnSimObject "values" {DATUM NAME: value}; SetClientData
     "area" and, for the uplink, "command" {"sequence","kind","name","value","raw",
     "effect"}, else "data" (hex)
  {"t":..,"session":1,"dir":"out","message":"OPEN"|"EXCEPTION"|"EVENT"|"SIMOBJECT_DATA"|
   "CLIENT_DATA"|"QUIT","size":N,"fields":{...}}   fields by published names, plus
     EXCEPTION "exception" (name), and "cut_from" (its whole size) for a message cut
     short; EVENT "event"; SIMOBJECT_DATA "values" {DATUM NAME: value}; CLIENT_DATA
     "area" and "slots" {COCKPIT NAME: tenths} for the whole downlink, else "data" (hex)
  {"t":..,"session":1,"model":"AUTOPILOT AIRSPEED HOLD VAR","value":251,"unit":"knots"}
  {"t":..,"session":1,"cockpit":"A32NX_AUTOPILOT_SPEED_SELECTED","value":2510}
     model changes, in base units and published tenths, with the session that caused them
  {"t":..,"session":1,"event":"malformed","reason":"length 8 below 16"}
  {"t":..,"session":1,"event":"close","reason":"peer closed"|"malformed"|"quit"|"break"|..}
  {"t":..,"event":"script","action":{...}}   {"t":..,"event":"flight_start"}
  {"t":..,"event":"quit","cause":"quit-after"|"script"|"signal"}   {"t":..,"event":"break"}
  {"t":..,"event":"stop_reading"}
)HELP";

// A flag shown the other way round starts the other way round.
std::string viewRange(ModelVar var, VarView view) {
    if (view == VarView::Direct) return rangeText(var);
    std::ostringstream text;
    text << "0 or 1, starts at " << AircraftModel().read(var, view);
    return text.str();
}

void describeSimVars(std::ostream& out) {
    out << "\nSimulation variables (AddToDataDefinition; names without regard to case, any\n"
           "index suffix such as \":1\" accepted; each value keeps its range):\n";
    for (const SimVarInfo& var : allSimVars()) {
        out << "  " << var.name << ": " << var.help << "\n      " << viewRange(var.var, var.view)
            << ", base unit " << baseUnitName(var.quantity)
            << "\n      units: " << unitNames(var.quantity) << "\n";
    }
}

void describeEvents(std::ostream& out) {
    out << "\nSimulator events (MapClientEventToSimEvent, then TransmitClientEvent):\n";
    for (const SimEventInfo& event : allSimEvents()) {
        out << "  " << std::left << std::setw(24) << event.name << event.help << "\n";
    }
    out << "An empty name (an event private to the client) and a name with a period "
           "(\"Custom.Event\",\n"
           "an event between clients) are accepted too; they do nothing to the aircraft.\n";
    out << "System events: \"SimStart\" is sent once per subscription when the flight starts;\n"
           "SimStop, Sim, Pause, Crashed, 1sec, 4sec, 6Hz and Frame are accepted, never sent.\n";
}

void describeCockpitVars(std::ostream& out) {
    out << "\nCockpit variables (downlink payload offset, name; variables that mean the same\n"
           "as a simulation variable show the same value):\n";
    for (const CockpitVarInfo& cockpit : allCockpitVars()) {
        out << "  " << std::right << std::setw(3) << cockpit.offset << "  " << cockpit.name << ": "
            << cockpit.help;
        if (cockpit.command == nullptr) out << "; " << viewRange(cockpit.var, cockpit.view);
        out << "\n";
    }
}

}  // namespace

std::string helpFooter() {
    std::ostringstream out;
    out << kConsole << kProtocol;
    describeSimVars(out);
    describeEvents(out);
    out << kCompanion;
    describeCockpitVars(out);
    out << kScript << kLog;
    return out.str();
}

}  // namespace standin
