// How each rack's board is wired, taken from its sketch's pin map: the pins and ADC
// channels behind the rack's controls (named as rack-emulator names them), and the pins
// and display drivers behind its lamps and windows.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "rack_wiring.h"
#include "board-sim/arduino_pins.h"
#include "board-sim/usb_bridge.h"
#include "rack-emulator/rack_layouts.h"

namespace boardsim {

using rackemu::RackKind;

enum class ControlKind {
    Contact,        // a switch or button from a pin to GND
    Knob,           // an encoder's two contacts
    Axis,           // a potentiometer on one or two channels: -fullScale at 0 V, fullScale at 5 V
    Ladder,         // a rotary selector on a resistor ladder
    BaroMode,       // the EFIS's QNH toggle (first pin) and its STD push button (second)
    OptionButtons,  // the EFIS's five option buttons on a ladder
};

constexpr std::uint8_t noChannel = 0xFF;

struct Control {
    std::string_view name;
    ControlKind kind;
    std::uint8_t pins[2] = {};
    std::uint8_t channels[2] = {noChannel, noChannel};
    double fullScale = 0;
    std::uint8_t positions = 0;  // a ladder's
    double rest = 0;             // an axis's value when no one touches it
    std::uint8_t detentsPerCycle = 1;  // a knob's
};

struct NamedPin {
    std::string_view name;
    std::uint8_t pin;
};

struct NamedWindow {
    std::string_view name;
    rackkit::DisplayWindow window;
};

struct NamedSegmentLamp {
    std::string_view name;
    rackkit::SegmentLamp lamp;
};

// A board the racks are built on: its chip, its USB-serial bridge, and how long its
// bootloader waits after a reset before the firmware starts.
struct BoardKind {
    std::string_view name;
    BoardModel model;
    BridgeModel bridge;
    std::uint32_t bootMs;
};

struct BoardLayout {
    RackKind rack;
    const BoardKind& board;
    std::string_view image;  // the firmware's file name, without ".elf"
    std::span<const Control> controls;
    std::optional<rackkit::DisplayChain> display;
    std::span<const NamedWindow> windows;
    std::span<const NamedPin> lamps;
    std::span<const NamedSegmentLamp> segmentLamps;
};

const BoardLayout& boardLayout(RackKind rack);
const Control* findControl(const BoardLayout& layout, std::string_view name);

// What a panel shows: each window's text (a lit point is a '.' after its character) and
// whether each lamp is lit.
struct PanelView {
    std::map<std::string, std::string> windows;
    std::map<std::string, bool> lamps;
};

// The panel in one line, in rack-emulator's words for it, for example
// "SPD 250*  HDG 180  ALT 5000  V/S 700  [AP1]".
std::string displayLine(RackKind rack, const PanelView& view);

}  // namespace boardsim
