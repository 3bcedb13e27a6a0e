// Running sim-standin in a test and reading what it saw and sent.
//
// sim-standin --log FILE writes one JSON object per line, flushed per line. Every line has
//   "t"        seconds since the stand-in started (double)
//   "mono_ns"  std::chrono::steady_clock nanoseconds since its epoch (CLOCK_MONOTONIC on
//              Linux): comparable with the same clock in another process of this machine
//   "session"  the session (connection) id, 1, 2, ...; absent on lines of no session
// and then one of:
//   a request received (after it was handled):
//     {"dir":"in","request":"TransmitClientEvent","dwSendID":7,"size":36,
//      "fields":{"ObjectID":0,"EventID":1,"dwData":0,"GroupID":1,"Flags":16,
//                "event":"AP_MASTER","data":0},
//      "exception":"UNRECOGNIZED_ID"}                  ("exception" only when rejected)
//     "request" is Open, MapClientEventToSimEvent, TransmitClientEvent, AddToDataDefinition,
//     RequestDataOnSimObject, SetDataOnSimObject, SubscribeToSystemEvent,
//     MapClientDataNameToID, AddToClientDataDefinition, RequestClientData, SetClientData,
//     or "unknown" (fields {"dwID": N}). "fields" are the request's own by their published
//     names (texts as text, fEpsilon as a number, openTag as hex), plus:
//       TransmitClientEvent  "event" (the mapped event's name), "data" (dwData signed)
//       SetDataOnSimObject   "values" {"RUDDER POSITION": -8192.0, ...} by datum name, in
//                            the datum's units
//       SetClientData        "area" ("orvendale.uplink"...) and for the uplink
//                            "command" {"sequence","kind":2|3,"name","value" (signed 16
//                            bits, kind 3),"raw" (kind 3),"effect":"set"|"executed"|
//                            "toggled"|"ignored: ..."}, else "data" (hex)
//   a message sent:
//     {"dir":"out","message":"OPEN"|"EXCEPTION"|"QUIT"|"EVENT"|"SIMOBJECT_DATA"|
//      "CLIENT_DATA","size":N,"fields":{...}}  fields by the published names, plus
//       EXCEPTION       "exception" ("NAME_UNRECOGNIZED"...)
//       EVENT           "event" ("SimStart")
//       SIMOBJECT_DATA  "values" {"KOHLSMAN SETTING MB:1": 1013.25, ...}
//       CLIENT_DATA     "area", and "slots" {"A32NX_AUTOPILOT_SPEED_SELECTED": 2500, ...}
//                       (published tenths) for the whole downlink block, else "data" (hex)
//   a change of the aircraft (with the session whose request caused it, if any):
//     {"model":"AUTOPILOT AIRSPEED HOLD VAR","value":251.0,"unit":"knots"}  base units
//     {"cockpit":"A32NX_AUTOPILOT_SPEED_SELECTED","value":2510}              tenths
//   events:
//     {"event":"listening","pipe":"\\\\.\\pipe\\NAME","ipv4":N,"ipv6":N}
//     {"event":"connect","endpoint":"pipe"|"ipv4"|"ipv6"}
//     {"event":"malformed","reason":"length 8 below 16"}
//     {"event":"close","reason":"peer closed"|"malformed"|"quit"|"break"|...}
//     {"event":"script","action":{...}}   {"event":"flight_start"}
//     {"event":"quit","cause":"quit-after"|"script"|"signal"}   {"event":"break"}
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace testsupport {

using Json = nlohmann::json;
using JsonMatch = std::function<bool(const Json&)>;

class StandinLog {
public:
    explicit StandinLog(std::string path) : path_(std::move(path)) {}

    // Every complete line so far (a line still being written is left for the next call).
    const std::vector<Json>& entries();
    // The number of entries so far: a `from` for the calls below that skips what was
    // logged before an action.
    std::size_t size() { return entries().size(); }

    // Waits until an entry at index `from` or later matches; returns it.
    std::optional<Json> waitFor(const JsonMatch& match, std::chrono::milliseconds timeout,
                                std::size_t from = 0);
    // A request named `request` whose "fields" match (any fields when `fields` is empty).
    std::optional<Json> waitForRequest(const std::string& request, const JsonMatch& fields,
                                       std::chrono::milliseconds timeout, std::size_t from = 0);
    // A message named `message` sent, whose "fields" match.
    std::optional<Json> waitForMessage(const std::string& message, const JsonMatch& fields,
                                       std::chrono::milliseconds timeout, std::size_t from = 0);
    std::optional<Json> waitForEvent(const std::string& event, std::chrono::milliseconds timeout,
                                     std::size_t from = 0);
    // A change of a simulation variable ("model") or cockpit variable ("cockpit") by name
    // whose new value matches.
    std::optional<Json> waitForChange(const std::string& name,
                                      const std::function<bool(double)>& value,
                                      std::chrono::milliseconds timeout, std::size_t from = 0);

    // Requests (or messages) of one name from `from` on, in order.
    std::vector<Json> requests(const std::string& request, std::size_t from = 0);
    std::vector<Json> messages(const std::string& message, std::size_t from = 0);
    // The events of accepted TransmitClientEvent requests from `from` on, by name, in order.
    std::vector<std::string> transmittedEvents(std::size_t from = 0);
    // The decoded uplink commands from `from` on, in order.
    std::vector<Json> uplinkCommands(std::size_t from = 0);

private:
    std::string path_;
    std::size_t offset_ = 0;
    std::vector<Json> entries_;
};

struct StandinEndpoints {
    std::string pipe;  // the pipe path, empty with --no-pipe
    int ipv4 = 0;      // 0 when not listening
    int ipv6 = 0;
};

// The endpoints of the ready line ("sim-standin: ready pipe=... ipv4=127.0.0.1:N ...") in a
// captured output; empty when the line is not there (yet).
std::optional<StandinEndpoints> parseStandinReadyLine(const std::string& output);

// A pipe name of its own for each call in this process: "<tag>-<pid>-<n>".
std::string uniquePipeName(const std::string& tag);

struct StandinRun {
    std::unique_ptr<ChildProcess> process;
    bool ready = false;  // the ready line came in time; process->output() tells otherwise
    StandinEndpoints endpoints;
    std::string logPath;
};

// Starts sim-standin with HOME and the working directory in `home`, its log at
// home/standin.jsonl, and `args` (for example {"--pipe-name", uniquePipeName("x")}), and
// waits for its ready line.
StandinRun startStandin(const TempDir& home, const std::vector<std::string>& args,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace testsupport
