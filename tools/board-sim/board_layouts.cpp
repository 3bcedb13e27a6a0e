#include "board-sim/board_layouts.h"

#include <algorithm>
#include <stdexcept>

#include "efis/efis_pins.h"
#include "fcu/fcu_pins.h"
#include "joystick/joystick_pins.h"
#include "pedals/pedals_pins.h"

namespace boardsim {

namespace {

using enum ControlKind;

constexpr Control joystickControls[] = {
    {"aileron_position", Axis, {}, {joystick::aileronChannel, noChannel}, 100},
    {"elevator_position", Axis, {}, {joystick::elevatorChannel, noChannel}, 100},
    {"camera_point_of_interest", Contact, {joystick::cameraButton}},
    {"rudder_trim_plus_pct", Contact, {joystick::trimRightSwitch}},
    {"rudder_trim_minus_pct", Contact, {joystick::trimLeftSwitch}},
    {"spoiler_handle_plus_position", Contact, {joystick::spoilerExtendSwitch}},
    {"spoiler_handle_minus_position", Contact, {joystick::spoilerRetractSwitch}},
    {"autopilot_master", Contact, {joystick::autopilotButton}},
};

constexpr Control pedalsControls[] = {
    {"rudder_position", Axis, {}, {pedals::rudderChannel, noChannel}, 16384},
    // One brake value for both toe brakes, as the service applies it.
    {"brake_position", Axis, {}, {pedals::leftBrakeChannel, pedals::rightBrakeChannel}, 16384, 0,
     -16384},
    {"calibration", Contact, {pedals::calibrationButton}},
};

constexpr Control efisControls[] = {
    {"baro", Knob, {efis::baroKnobA, efis::baroKnobB}, {noChannel, noChannel}, 0, 0, 0, efis::knobDetentsPerCycle},
    {"baro_mode", BaroMode, {efis::qnhSwitch, efis::stdButton}},
    {"fd", Contact, {efis::fdButton}},
    {"ls", Contact, {efis::lsButton}},
    {"nd_range", Ladder, {}, {efis::rangeChannel, noChannel}, 0, efis::rangePositions},
    {"nd_mode", Ladder, {}, {efis::modeChannel, noChannel}, 0, efis::modePositions},
    {"option", OptionButtons, {}, {efis::optionChannel, noChannel}, 0, efis::optionPositions},
};

constexpr NamedPin efisLamps[] = {
    {"fd", efis::fdLamp}, {"ls", efis::lsLamp}, {"qnh", efis::qnhLamp}, {"qfe", efis::qfeLamp}};
constexpr NamedSegmentLamp efisSegmentLamps[] = {
    {"cstr", efis::optionLamps[0]}, {"vor_d", efis::optionLamps[1]}, {"wpt", efis::optionLamps[2]},
    {"ndb", efis::optionLamps[3]},  {"arpt", efis::optionLamps[4]}};
constexpr NamedWindow efisWindows[] = {{"baro", efis::baroWindow}};

constexpr Control fcuControls[] = {
    {"spd", Knob, {fcu::spdKnobA, fcu::spdKnobB}, {noChannel, noChannel}, 0, 0, 0, fcu::knobDetentsPerCycle},
    {"hdg", Knob, {fcu::hdgKnobA, fcu::hdgKnobB}, {noChannel, noChannel}, 0, 0, 0, fcu::knobDetentsPerCycle},
    {"alt", Knob, {fcu::altKnobA, fcu::altKnobB}, {noChannel, noChannel}, 0, 0, 0, fcu::knobDetentsPerCycle},
    {"vs", Knob, {fcu::vsKnobA, fcu::vsKnobB}, {noChannel, noChannel}, 0, 0, 0, fcu::knobDetentsPerCycle},
    {"spd_on", Contact, {fcu::spdOnSwitch}},
    {"hdg_on", Contact, {fcu::hdgOnSwitch}},
    {"alt_hold_on", Contact, {fcu::altHoldOnButton}},
    {"vs_hold", Contact, {fcu::vsHoldButton}},
    {"loc", Contact, {fcu::locButton}},
    {"ap1", Contact, {fcu::ap1Button}},
    {"athr", Contact, {fcu::athrButton}},
    {"appr", Contact, {fcu::apprButton}},
    {"exped", Contact, {fcu::expedButton}},
    {"alt_inc_100", Contact, {fcu::altInc100Switch}},
    {"alt_inc_1000", Contact, {fcu::altInc1000Switch}},
    {"vs_push", Contact, {fcu::vsPushButton}},
    {"spd_off", Contact, {fcu::spdOffSwitch}},
    {"hdg_off", Contact, {fcu::hdgOffSwitch}},
    {"alt_hold_off", Contact, {fcu::altHoldOffButton}},
    {"vs_pull", Contact, {fcu::vsPullButton}},
};

// The mode lamps in the order the display line shows them.
constexpr NamedPin fcuLamps[] = {{"loc", fcu::locLamp},     {"ap1", fcu::ap1Lamp},
                                 {"athr", fcu::athrLamp},   {"exped", fcu::expedLamp},
                                 {"appr", fcu::apprLamp},   {"trk_fpa", fcu::trkFpaLamp}};
constexpr NamedWindow fcuWindows[] = {
    {"spd", fcu::spdWindow}, {"hdg", fcu::hdgWindow}, {"alt", fcu::altWindow}, {"vs", fcu::vsWindow}};

// An Uno's and a Mega's bootloader wait about a second after a reset for an upload; a
// Nano clone's older bootloader a little longer.
constexpr BoardKind uno = {"Arduino Uno", BoardModel::Uno, BridgeModel::u16u2, 1000};
constexpr BoardKind nanoClone = {"Arduino Nano clone", BoardModel::Uno, BridgeModel::ch340, 1500};
constexpr BoardKind mega = {"Arduino Mega 2560", BoardModel::Mega, BridgeModel::u16u2, 1000};

const BoardLayout layouts[] = {
    {RackKind::Joystick, uno, "joystick", joystickControls, std::nullopt, {}, {}, {}},
    {RackKind::Pedals, nanoClone, "pedals", pedalsControls, std::nullopt, {}, {}, {}},
    {RackKind::Efis, uno, "efis", efisControls, efis::display, efisWindows, efisLamps,
     efisSegmentLamps},
    {RackKind::Fcu, mega, "fcu", fcuControls, fcu::display, fcuWindows, fcuLamps, {}},
};

std::string window(const PanelView& view, const std::string& name) {
    const auto found = view.windows.find(name);
    return found == view.windows.end() ? "" : found->second;
}

bool lit(const PanelView& view, const std::string& name) {
    const auto found = view.lamps.find(name);
    return found != view.lamps.end() && found->second;
}

// A point after a window's last digit is its managed-mode dot, shown as a '*'.
std::string withDot(std::string text) {
    if (!text.empty() && text.back() == '.') text.back() = '*';
    return text;
}

std::string onOff(bool on) {
    return on ? "[ON]" : "[OFF]";
}

std::string efisLine(const PanelView& view) {
    const char* mode = lit(view, "qfe") ? "QFE" : lit(view, "qnh") ? "QNH" : "STD";
    int option = 0;
    for (std::size_t i = 0; i < std::size(efisSegmentLamps); ++i)
        if (lit(view, std::string(efisSegmentLamps[i].name))) option = static_cast<int>(i) + 1;
    return "BARO " + window(view, "baro") + "  " + mode + "  FD " + onOff(lit(view, "fd")) + "  LS " +
           onOff(lit(view, "ls")) + "  OPT " + std::to_string(option);
}

std::string fcuLine(const PanelView& view) {
    const bool track = lit(view, "trk_fpa");
    std::string line = "SPD " + withDot(window(view, "spd")) + "  " + (track ? "TRK " : "HDG ") +
                       withDot(window(view, "hdg")) + "  ALT " + withDot(window(view, "alt")) + "  " +
                       (track ? "FPA " : "V/S ") + window(view, "vs");
    static constexpr std::pair<const char*, const char*> labels[] = {
        {"loc", "LOC"}, {"ap1", "AP1"}, {"athr", "A/THR"}, {"exped", "EXPED"}, {"appr", "APPR"}};
    std::string lamps;
    for (const auto& [name, label] : labels)
        if (lit(view, name)) lamps += std::string(lamps.empty() ? "" : " ") + "[" + label + "]";
    return lamps.empty() ? line : line + "  " + lamps;
}

}  // namespace

const BoardLayout& boardLayout(RackKind rack) {
    for (const BoardLayout& layout : layouts)
        if (layout.rack == rack) return layout;
    throw std::logic_error("no board for this rack");
}

const Control* findControl(const BoardLayout& layout, std::string_view name) {
    const auto found = std::find_if(layout.controls.begin(), layout.controls.end(),
                                    [&](const Control& control) { return control.name == name; });
    return found == layout.controls.end() ? nullptr : &*found;
}

std::string displayLine(RackKind rack, const PanelView& view) {
    return rack == RackKind::Fcu ? fcuLine(view) : efisLine(view);
}

}  // namespace boardsim
