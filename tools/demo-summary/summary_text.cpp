#include "demo-summary/summary_text.h"

#include <cstdio>
#include <map>
#include <vector>

namespace demosummary {

namespace {

constexpr std::size_t kLabelWidth = 20;
constexpr std::size_t kLineWidth = 92;
// Rejections are listed up to this many kinds; a faulty set-up could produce hundreds.
constexpr std::size_t kRejectionsShown = 10;

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// "label    lead item, item, item", wrapped so that continuation lines start under the
// lead; an item is never split.
std::string listLine(const std::string& label, const std::vector<std::string>& items,
                     const std::string& lead = "") {
    std::string out = "  " + label + std::string(kLabelWidth - 2 - label.size(), ' ') + lead;
    std::size_t column = out.size();
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string item = items[i] + (i + 1 < items.size() ? "," : "");
        const bool first = i == 0;
        if (!first && column + 1 + item.size() > kLineWidth) {
            out += '\n';
            out += std::string(kLabelWidth, ' ');
            column = kLabelWidth;
        } else if (!first) {
            out += ' ';
            ++column;
        }
        out += item;
        column += item.size();
    }
    return out + "\n";
}

std::string plural(long count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::vector<std::string> eventItems(const std::vector<EventTally>& events) {
    std::vector<std::string> items;
    for (const EventTally& event : events) {
        std::string item = event.name + " x" + std::to_string(event.count);
        if (event.carriesData) item += " (last data " + std::to_string(event.lastData) + ")";
        items.push_back(item);
    }
    return items;
}

std::vector<std::string> commandItems(const std::vector<CommandTally>& commands) {
    std::vector<std::string> items;
    for (const CommandTally& command : commands)
        items.push_back(command.text + " x" + std::to_string(command.count));
    return items;
}

std::vector<std::string> valueItems(const RackReport& rack) {
    std::vector<std::string> items;
    for (const DatumValue& datum : rack.lastValues) {
        std::string item = datum.name + " " + number(datum.value);
        if (!datum.unit.empty()) item += " " + datum.unit;
        if (datum.low != datum.high)
            item += " (moved from " + number(datum.low) + " to " + number(datum.high) + ")";
        items.push_back(item);
    }
    return items;
}

bool isPanel(const RackReport& rack) {
    return rack.emulated == "efis" || rack.emulated == "fcu";
}

// What rack-emulator saw of the rack's own side; nothing when only the simulator's log was
// given, as when real racks were tested against the stand-in.
std::string rackSide(const RackReport& rack) {
    if (!rack.inRackLog) return "";
    if (!isPanel(rack)) return listLine("the rack sent", {}, plural(rack.sent, "message"));
    return listLine("the panel sent", {},
                    plural(rack.sent, "frame") + "; the service wrote " +
                        plural(rack.received, "frame") + " to it");
}

std::vector<std::string> orNone(std::vector<std::string> items) {
    if (items.empty()) items.push_back("none");
    return items;
}

std::string rackBlock(const RackReport& rack) {
    std::string out = rack.rack + (rack.port.empty() ? "" : " on " + rack.port) + "\n";
    out += rackSide(rack);
    if (!isPanel(rack))
        out += listLine("data writes", valueItems(rack),
                        std::to_string(rack.dataWrites) + (rack.dataWrites ? "; the last: " : ""));
    out += listLine("events", orNone(eventItems(rack.events)));
    if (!isPanel(rack)) return out;
    out += listLine("cockpit commands", orNone(commandItems(rack.commands)));
    if (rack.inRackLog) out += listLine("last display", {rack.lastDisplay.value_or("(none)")});
    return out;
}

std::string rejections(const std::vector<std::string>& rejected) {
    if (rejected.empty()) return "; the simulator rejected none";
    std::map<std::string, long> counts;
    for (const std::string& text : rejected) ++counts[text];
    std::string out = "; the simulator rejected " + std::to_string(rejected.size()) + ":";
    std::size_t shown = 0;
    for (const auto& [text, count] : counts) {
        if (shown++ == kRejectionsShown) break;
        out += "\n    " + text + " x" + std::to_string(count);
    }
    return out;
}

std::string simulatorBlock(const SimulatorReport& simulator) {
    if (simulator.endpoint.empty()) return "Simulator: the service never connected.\n";
    std::string out = "Simulator: the service connected on the " + simulator.endpoint +
                      " and made " + plural(simulator.requests, "request") +
                      rejections(simulator.rejected) + ".\n";
    if (!simulator.quitCause.empty())
        out += "At the end the simulator quit (" + simulator.quitCause + ")";
    else
        out += "The simulator did not quit";
    out += simulator.closeReason.empty()
               ? " and the service's session stayed open.\n"
               : " and the service's session closed (" + simulator.closeReason + ").\n";
    return out;
}

}  // namespace

std::string formatSummary(const Summary& summary) {
    std::string out = "== Summary: what the simulator received from each rack, and what the "
                      "panels last displayed ==\n";
    out += simulatorBlock(summary.simulator);
    for (const RackReport& rack : summary.racks) {
        out += '\n';
        out += rackBlock(rack);
    }
    return out;
}

}  // namespace demosummary
