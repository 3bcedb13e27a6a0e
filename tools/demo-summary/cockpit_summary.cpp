#include "demo-summary/cockpit_summary.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

namespace demosummary {

namespace {

struct RackNames {
    const char* service;
    const char* emulated;
};

// The four racks, in the order the summary shows them.
constexpr RackNames kRacks[] = {{"joystick_rack", "joystick"},
                                {"pedals_rack", "pedals"},
                                {"efis_rack", "efis"},
                                {"autopilot_rack", "fcu"}};

// The rack that sends each event; every other event of the service comes from the FCU.
const std::map<std::string, std::string> kEventSenders = {
    {"RUDDER_TRIM_LEFT", "joystick"},   {"RUDDER_TRIM_RIGHT", "joystick"},
    {"SPOILERS_INC", "joystick"},       {"SPOILERS_DEC", "joystick"},
    {"AXIS_RIGHT_BRAKE_SET", "pedals"}, {"AXIS_LEFT_BRAKE_SET", "pedals"},
    {"KOHLSMAN_INC", "efis"},           {"KOHLSMAN_DEC", "efis"},
    {"TOGGLE_FLIGHT_DIRECTOR", "efis"},
};

// AP_MASTER comes from the joystick's autopilot-master button and from the FCU's AP1 alike,
// and the simulator cannot tell them apart. Each press sends it once, so the events are
// matched to the presses in the order they left the racks: every event goes to a press sent
// before it, and each rack gets as many as it pressed, as long as the racks' presses reach
// the service in the order they were sent (presses of both racks within the lag of a
// line that has a backlog may be swapped).
const std::string kApMaster = "AP_MASTER";
// The rack log's time of a message is taken after its write returned, so on a busy machine
// the service can have forwarded the press before the emulator noted the time: a press
// counts as sent before an event up to this much after it. The demo's presses are seconds
// apart.
constexpr std::int64_t kPressClockSlackNs = 1'000'000'000;
const std::map<std::string, std::string> kApMasterSwitches = {{"joystick", "autopilot_master"},
                                                              {"fcu", "ap1"}};

// Cockpit variables of the EFIS panel; the other commands are the FCU's.
const std::set<std::string> kEfisCommands = {"XMLVAR_Baro1_Mode", "BTN_LS_1_FILTER_ACTIVE",
                                             "A32NX_EFIS_L_ND_RANGE", "A32NX_EFIS_L_ND_MODE",
                                             "A32NX_EFIS_L_OPTION"};

// The pedals write the rudder; every other data write is the joystick's.
const std::string kPedalsDatum = "RUDDER POSITION";

std::int64_t monoNs(const Json& entry) {
    return entry.value("mono_ns", std::int64_t{0});
}

// A switch member or field as the service reads it: a 32-bit integer, true counting as 1.
bool switchedOn(const Json& value) {
    if (value.is_boolean()) return value.get<bool>();
    return value.is_number() && std::trunc(value.get<double>()) != 0;
}

template <typename Tally, typename Key>
Tally& tally(std::vector<Tally>& tallies, const Key& key, std::string Tally::*name) {
    auto found = std::find_if(tallies.begin(), tallies.end(),
                              [&](const Tally& item) { return item.*name == key; });
    if (found != tallies.end()) return *found;
    Tally& added = tallies.emplace_back();
    added.*name = key;
    return added;
}

class SummaryBuilder {
public:
    SummaryBuilder() {
        for (const RackNames& names : kRacks) {
            RackReport& report = racks_.emplace_back();
            report.rack = names.service;
            report.emulated = names.emulated;
        }
    }

    void readRackLog(const std::vector<Json>& log) {
        for (const Json& entry : log) {
            if (entry.value("event", "") == "ready") onReady(entry);
            if (!entry.contains("rack")) continue;
            const std::string dir = entry.value("dir", "");
            if (dir == "out") onSent(entry);
            if (dir == "in") onReceived(entry);
            if (entry.value("event", "") == "display") onDisplay(entry);
        }
    }

    void readStandinLog(const std::vector<Json>& log) {
        for (const Json& entry : log) {
            if (entry.contains("event")) onStandinEvent(entry);
            if (entry.value("dir", "") == "in" && entry.contains("request")) onRequest(entry);
        }
    }

    Summary finish() {
        Summary summary;
        summary.simulator = simulator_;
        for (RackReport& report : racks_)
            if (seen_.count(report.emulated) != 0) summary.racks.push_back(std::move(report));
        return summary;
    }

private:
    RackReport* playedRack(const std::string& emulated) {
        RackReport* report = rack(emulated);
        if (report != nullptr) report->inRackLog = true;
        return report;
    }

    RackReport* rack(const std::string& emulated) {
        for (RackReport& report : racks_)
            if (report.emulated == emulated) {
                seen_.insert(emulated);
                return &report;
            }
        return nullptr;
    }

    void onReady(const Json& entry) {
        const Json racks = entry.value("racks", Json::object());
        for (auto item = racks.begin(); item != racks.end(); ++item) {
            RackReport* report = playedRack(item.key());
            if (report == nullptr) continue;
            const std::string device = item.value().value("device", "");
            report->port = item.value().value("link", device);
        }
    }

    void onSent(const Json& entry) {
        const std::string name = entry.value("rack", "");
        RackReport* report = playedRack(name);
        if (report == nullptr) return;
        ++report->sent;
        const auto apSwitch = kApMasterSwitches.find(name);
        if (apSwitch == kApMasterSwitches.end()) return;
        const Json fields = entry.value("fields", Json::object());
        const bool on = switchedOn(fields.value(apSwitch->second, Json()));
        if (on && !apMasterDown_[name]) apMasterPresses_.emplace_back(name, monoNs(entry));
        apMasterDown_[name] = on;
    }

    void onReceived(const Json& entry) {
        RackReport* report = playedRack(entry.value("rack", ""));
        if (report == nullptr || !entry.contains("fields")) return;
        ++report->received;
        if (entry.contains("display")) report->lastDisplay = entry.value("display", "");
    }

    // board-sim reads a panel's display off its drivers, a moment after the frame.
    void onDisplay(const Json& entry) {
        RackReport* report = playedRack(entry.value("rack", ""));
        if (report != nullptr) report->lastDisplay = entry.value("display", "");
    }

    void onStandinEvent(const Json& entry) {
        const std::string event = entry.value("event", "");
        if (event == "connect" && simulator_.endpoint.empty())
            simulator_.endpoint = entry.value("endpoint", "");
        if (event == "quit") simulator_.quitCause = entry.value("cause", "");
        if (event == "close") simulator_.closeReason = entry.value("reason", "");
    }

    void onRequest(const Json& entry) {
        ++simulator_.requests;
        const std::string request = entry.value("request", "");
        if (entry.contains("exception")) {
            simulator_.rejected.push_back(request + ": " + entry.value("exception", ""));
            return;
        }
        const Json fields = entry.value("fields", Json::object());
        if (request == "AddToDataDefinition")
            units_[fields.value("DatumName", "")] = fields.value("UnitsName", "");
        if (request == "TransmitClientEvent") onEvent(fields, monoNs(entry));
        if (request == "SetDataOnSimObject") onDataWrite(fields);
        if (request == "SetClientData" && fields.contains("command")) onCommand(fields["command"]);
    }

    std::string eventSender(const std::string& event, std::int64_t at) {
        if (event != kApMaster) {
            const auto sender = kEventSenders.find(event);
            return sender == kEventSenders.end() ? "fcu" : sender->second;
        }
        if (nextPress_ < apMasterPresses_.size() &&
            apMasterPresses_[nextPress_].second <= at + kPressClockSlackNs)
            return apMasterPresses_[nextPress_++].first;
        return "fcu";
    }

    void onEvent(const Json& fields, std::int64_t at) {
        const std::string name = fields.value("event", "");
        RackReport* report = rack(eventSender(name, at));
        EventTally& event = tally(report->events, name, &EventTally::name);
        ++event.count;
        event.lastData = fields.value("data", std::int64_t{0});
        event.carriesData = event.carriesData || event.lastData != 0;
    }

    void onDataWrite(const Json& fields) {
        const Json values = fields.value("values", Json::object());
        if (values.empty()) return;
        RackReport* report = rack(values.contains(kPedalsDatum) ? "pedals" : "joystick");
        ++report->dataWrites;
        report->lastValues.clear();
        for (auto value = values.begin(); value != values.end(); ++value) {
            if (!value.value().is_number()) continue;
            const double number = value.value().get<double>();
            const auto range = ranges_.try_emplace(value.key(), number, number).first;
            range->second = {std::min(range->second.first, number),
                             std::max(range->second.second, number)};
            report->lastValues.push_back({value.key(), number, range->second.first,
                                          range->second.second, units_[value.key()]});
        }
    }

    void onCommand(const Json& command) {
        const std::string name = command.value("name", "");
        std::string text = command.value("kind", 0) == 3
                               ? "set " + name + " " + std::to_string(command.value("value", 0))
                               : "trigger " + name;
        if (command.value("effect", "").rfind("ignored", 0) == 0) text += " (ignored)";
        RackReport* report = rack(kEfisCommands.count(name) != 0 ? "efis" : "fcu");
        ++tally(report->commands, text, &CommandTally::text).count;
    }

    std::vector<RackReport> racks_;
    std::set<std::string> seen_;
    SimulatorReport simulator_;
    std::map<std::string, std::string> units_;
    std::map<std::string, std::pair<double, double>> ranges_;  // datum: least, greatest
    std::map<std::string, bool> apMasterDown_;
    std::vector<std::pair<std::string, std::int64_t>> apMasterPresses_;  // in time order
    std::size_t nextPress_ = 0;  // the first press not yet matched to an event
};

}  // namespace

Summary summarize(const std::vector<Json>& standinLog, const std::vector<Json>& rackLog) {
    SummaryBuilder builder;
    // The presses that attribute AP_MASTER come from the racks' log, so it is read first.
    builder.readRackLog(rackLog);
    builder.readStandinLog(standinLog);
    return builder.finish();
}

}  // namespace demosummary
