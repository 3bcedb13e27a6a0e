// board-wiring RACK: the wiring of a rack's board as a Graphviz graph, drawn from the same
// pin maps as the firmware (firmware/*/*_pins.h, through board-sim's layouts), so that
// the README's diagrams never drift from the sketches. scripts/wiring renders them.
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "board-sim/board_layouts.h"

namespace {

using namespace boardsim;

// The pieces written one after another (numbers as numbers).
template <typename... Pieces>
std::string cat(const Pieces&... pieces) {
    std::ostringstream out;
    (out << ... << pieces);
    return out.str();
}

std::string pinName(const BoardLayout& layout, std::uint8_t pin) {
    const int firstAnalog = layout.board.model == BoardModel::Uno ? 14 : 54;
    if (pin >= firstAnalog) return cat("A", pin - firstAnalog);
    return cat("D", int{pin});
}

std::string channelName(std::uint8_t channel) {
    return cat("A", int{channel});
}

// A part and the pins it hangs on, in the graph's words.
class Graph {
public:
    explicit Graph(const BoardLayout& layout) : layout_(layout) {}

    void part(const std::string& id, const std::string& label, const std::string& shape = "box") {
        parts_ << "  " << id << " [shape=" << shape << ", label=\"" << label << "\"];\n";
    }
    void wire(const std::string& pin, const std::string& part, const std::string& label = "") {
        pins_.insert(pin);
        wires_ << "  board:" << pin << " -> " << part;
        if (!label.empty()) wires_ << " [label=\"" << label << "\"]";
        wires_ << ";\n";
    }
    void pin(std::uint8_t arduinoPin, const std::string& part, const std::string& label = "") {
        wire(pinName(layout_, arduinoPin), part, label);
    }
    std::string text() const {
        std::ostringstream out;
        const std::string name(rackemu::rackName(layout_.rack));
        out << "digraph " << name << " {\n"
            << "  rankdir=LR;\n  node [fontname=\"Helvetica\", fontsize=10];\n"
            << "  edge [fontname=\"Helvetica\", fontsize=9, arrowhead=none];\n"
            << "  labelloc=t;\n  label=\"" << name << " rack: " << layout_.board.name
            << " (every switch, button and knob contact closes to GND; pull-ups in the chip)\";\n"
            << "  board [shape=plaintext, label=<<table border=\"1\" cellborder=\"0\" cellspacing=\"0\">"
            << "<tr><td bgcolor=\"lightgrey\"><b>" << layout_.board.name << "</b></td></tr>";
        for (const std::string& used : pins_) out << "<tr><td port=\"" << used << "\">" << used << "</td></tr>";
        out << "</table>>];\n" << parts_.str() << wires_.str() << "}\n";
        return out.str();
    }

private:
    // Analog pins first, then the digital ones, each in number order.
    struct PinOrder {
        bool operator()(const std::string& a, const std::string& b) const {
            return std::make_pair(a[0], std::stoi(a.substr(1))) < std::make_pair(b[0], std::stoi(b.substr(1)));
        }
    };

    const BoardLayout& layout_;
    std::set<std::string, PinOrder> pins_;
    std::ostringstream parts_;
    std::ostringstream wires_;
};

std::string idOf(std::string_view name) {
    return cat("part_", name);
}

void addControl(Graph& graph, const Control& control) {
    const std::string id = idOf(control.name);
    const std::string_view name = control.name;
    switch (control.kind) {
        case ControlKind::Contact:
            graph.part(id, cat(name, "\\nswitch or button to GND"));
            graph.pin(control.pins[0], id);
            return;
        case ControlKind::Knob:
            graph.part(id, cat(name, " knob\\nencoder, ", int{control.detentsPerCycle},
                               " detent(s) a cycle,\\ncommon to GND"));
            graph.pin(control.pins[0], id, "A");
            graph.pin(control.pins[1], id, "B");
            return;
        case ControlKind::BaroMode:
            graph.part(cat(id, "_qnh"), "QFE/QNH toggle to GND\\n(closed: QNH)");
            graph.part(cat(id, "_std"), "STD push button to GND\\n(each push: STD on or off)");
            graph.pin(control.pins[0], cat(id, "_qnh"));
            graph.pin(control.pins[1], cat(id, "_std"));
            return;
        case ControlKind::Axis:
            for (std::uint8_t channel : control.channels) {
                if (channel == noChannel) continue;
                // Two pots make one value: the toe brakes, the harder-pressed one counting.
                const bool pair = control.channels[1] != noChannel;
                const std::string pot = cat(id, "_", channelName(channel));
                graph.part(pot, cat(name, pair ? (channel == control.channels[0] ? " (left)" : " (right)") : "",
                                    "\\n10 kOhm linear pot:\\nends to GND and 5 V, wiper to the pin"));
                graph.wire(channelName(channel), pot, "wiper");
            }
            return;
        case ControlKind::Ladder:
            graph.part(id, cat(name, " selector\\n", int{control.positions}, "-position rotary switch:\\n",
                               control.positions - 1,
                               " x 1 kOhm from GND to 5 V,\\npositions on the taps (ends included),\\ncommon to the pin"));
            graph.wire(channelName(control.channels[0]), id, "common");
            return;
        case ControlKind::OptionButtons:
            graph.part(id, "option buttons 1 to 5\\n5 x 1 kOhm from GND to 5 V (taps 0, 1, 2, 3, 4 V);\\n"
                           "button k joins the pin to the (k - 1) V tap;\\n100 kOhm from the pin to 5 V");
            graph.wire(channelName(control.channels[0]), id);
            return;
    }
}

void addOutputs(Graph& graph, const BoardLayout& layout) {
    for (const NamedPin& lamp : layout.lamps) {
        const std::string id = cat("lamp_", lamp.name);
        graph.part(id, cat(lamp.name, " lamp\\nLED + 330 Ohm to GND"), "ellipse");
        graph.pin(lamp.pin, id);
    }
    if (!layout.display) return;
    const rackkit::DisplayChain& chain = *layout.display;
    std::ostringstream label;
    label << int{chain.chips} << " x MAX7219 in a chain (DOUT to the next DIN),\\n"
          << "RSET 10 kOhm, 10 uF + 100 nF at each V+;\\n";
    for (const NamedWindow& window : layout.windows)
        label << window.name << ": chip " << int{window.window.chip} << " digits " << int{window.window.firstDigit}
              << " to " << window.window.firstDigit + window.window.width - 1 << "\\n";
    for (const NamedSegmentLamp& lamp : layout.segmentLamps)
        label << lamp.name << " lamp: chip " << int{lamp.lamp.chip} << " digit " << int{lamp.lamp.digit}
              << " segment " << "GFEDCBA."[lamp.lamp.segmentBit] << "\\n";
    graph.part("display", label.str());
    graph.pin(chain.din, "display", "DIN");
    graph.pin(chain.clk, "display", "CLK");
    graph.pin(chain.load, "display", "LOAD");
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<rackemu::RackKind> rack = argc == 2 ? rackemu::rackFromName(argv[1]) : std::nullopt;
    if (!rack) {
        std::cerr << "Usage: board-wiring joystick|pedals|efis|fcu\n";
        return 2;
    }
    const BoardLayout& layout = boardLayout(*rack);
    Graph graph(layout);
    for (const Control& control : layout.controls) addControl(graph, control);
    addOutputs(graph, layout);
    if (layout.board.model == BoardModel::Mega) {
        graph.part("report", "second USB-serial adapter (optional):\\nthe line report at 115200 baud");
        graph.wire("D18", "report", "TX1");
    }
    std::cout << graph.text();
    return 0;
}
