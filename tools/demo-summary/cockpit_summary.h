// What the simulator received from each rack and what the panels last displayed, gathered
// from the logs of sim-standin and rack-emulator after a run of the whole cockpit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "demo-summary/json_lines.h"

namespace demosummary {

// One simulator event, counted; `lastData` is the data of its last transmission.
struct EventTally {
    std::string name;
    long count = 0;
    std::int64_t lastData = 0;
    bool carriesData = false;  // some transmission had data other than 0
};

// One cockpit-variable command ("set NAME VALUE" or "trigger NAME"), counted.
struct CommandTally {
    std::string text;
    long count = 0;
};

struct DatumValue {
    std::string name;
    double value = 0;  // of the last data write
    double low = 0;    // the least and the greatest value of every write
    double high = 0;
    std::string unit;
};

struct RackReport {
    std::string rack;      // the service's name, such as "autopilot_rack"
    std::string emulated;  // rack-emulator's name, such as "fcu"
    std::string port;      // the link or device the service opened
    bool inRackLog = false;  // rack-emulator played it; else only the simulator's side is known
    long sent = 0;           // messages or frames the rack sent
    long received = 0;     // frames the service wrote to the rack
    long dataWrites = 0;
    std::vector<DatumValue> lastValues;  // in the order of the data definition
    std::vector<EventTally> events;      // in the order first received
    std::vector<CommandTally> commands;  // in the order first received
    std::optional<std::string> lastDisplay;
};

struct SimulatorReport {
    std::string endpoint;  // how the service connected ("pipe", "ipv4", "ipv6"); empty: never
    long requests = 0;
    std::vector<std::string> rejected;  // "RequestName: EXCEPTION", one per rejected request
    std::string quitCause;              // why the stand-in quit; empty: it did not
    std::string closeReason;            // how the service's session ended; empty: it did not
};

struct Summary {
    SimulatorReport simulator;
    std::vector<RackReport> racks;  // joystick, pedals, EFIS, FCU: those seen in the logs
};

Summary summarize(const std::vector<Json>& standinLog, const std::vector<Json>& rackLog);

}  // namespace demosummary
