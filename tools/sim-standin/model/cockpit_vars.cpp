#include "sim-standin/model/cockpit_vars.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace standin {
namespace {

using enum ModelVar;
using Model = AircraftModel;

constexpr CockpitVarInfo variable(std::string_view name, std::uint16_t offset, ModelVar var,
                                  VarView view, std::string_view help) {
    return {name, offset, var, view, nullptr, help};
}

constexpr CockpitVarInfo command(std::string_view name, std::uint16_t offset,
                                 void (*action)(Model&), std::string_view help) {
    return {name, offset, ModelVar::Count, VarView::Direct, action, help};
}

constexpr auto D = VarView::Direct;
constexpr auto I = VarView::Inverted;

constexpr std::array kCockpitVars{
    variable("XMLVAR_Baro1_Mode", 0, BaroMode, D, "baro reference mode"),
    variable("BTN_LS_1_FILTER_ACTIVE", 4, LsFilter, D, "LS shown; a trigger toggles it"),
    variable("A32NX_EFIS_L_ND_RANGE", 8, NdRange, D, "navigation display range"),
    variable("A32NX_EFIS_L_ND_MODE", 12, NdMode, D, "navigation display mode"),
    variable("A32NX_EFIS_L_OPTION", 16, EfisOption, D, "EFIS option"),
    command(
        "(>H:A32NX.FCU_ALT_INCREMENT_SET)", 20,
        [](Model& m) { m.set(AltitudeIncrement, m.get(AltitudeIncrement) == 1000 ? 100 : 1000); },
        "switches the altitude increment between 100 and 1000 ft"),
    command(
        "(>H:A320_Neo_FCU_EXPED_PUSH)", 24, [](Model& m) { m.toggle(Expedite); },
        "toggles expedite mode"),
    command(
        "(>H:A32NX.FCU_TRK_FPA_TOGGLE_PUSH)", 28, [](Model& m) { m.toggle(TrkFpaMode); },
        "toggles TRK/FPA mode"),
    variable("XMLVAR_Autopilot_Altitude_Increment", 32, AltitudeIncrement, D,
             "feet per altitude detent: 1000 steps by 1000 ft, anything else by 100 ft"),
    command(
        "(>H:A320_Neo_FCU_VS_PUSH)", 36, [](Model& m) { m.set(VerticalHold, 0); },
        "vertical speed managed (hold off)"),
    command(
        "(>H:A320_Neo_FCU_VS_PULL)", 40, [](Model& m) { m.set(VerticalHold, 1); },
        "flies the selected vertical speed (hold on)"),
    command(
        "(>H:A320_Neo_CDU_VS)", 44, [](Model&) {}, "accepted, no effect"),
    variable("A32NX_AUTOPILOT_VS_SELECTED", 48, VerticalSpeed, D,
             "= AUTOPILOT VERTICAL HOLD VAR, ft/min"),
    variable("A32NX_AUTOPILOT_FPA_SELECTED", 52, FlightPathAngle, D,
             "selected flight-path angle, degrees"),
    variable("A32NX_FCU_LOC_MODE_ACTIVE", 56, LocHold, D, "= AUTOPILOT NAV1 LOCK"),
    variable("A32NX_AUTOPILOT_1_ACTIVE", 60, ApMaster, D, "= AUTOPILOT MASTER"),
    variable("A32NX_AUTOTHRUST_STATUS", 64, AutothrustStatus, D,
             "0 off, 1 armed, 2 active; not 0 = AUTOPILOT THROTTLE ARM"),
    variable("A32NX_FMA_EXPEDITE_MODE", 68, Expedite, D, "expedite mode"),
    variable("A32NX_FCU_APPR_MODE_ACTIVE", 72, ApproachHold, D, "= AUTOPILOT APPROACH HOLD"),
    variable("A32NX_AUTOPILOT_SPEED_SELECTED", 76, Speed, D,
             "= AUTOPILOT AIRSPEED HOLD VAR, knots"),
    variable("A32NX_FCU_SPD_MANAGED_DOT", 80, SpeedHold, I, "= not AUTOPILOT AIRSPEED HOLD"),
    variable("A32NX_AUTOPILOT_HEADING_SELECTED", 84, Heading, D,
             "= AUTOPILOT HEADING LOCK DIR, degrees"),
    variable("A32NX_FCU_HDG_MANAGED_DOT", 88, HeadingHold, I, "= not AUTOPILOT HEADING LOCK"),
    variable("A32NX_FCU_ALT_MANAGED", 92, AltitudeHold, I, "= not AUTOPILOT ALTITUDE LOCK"),
    variable("A32NX_TRK_FPA_MODE_ACTIVE", 96, TrkFpaMode, D, "TRK/FPA mode"),
    variable("A32NX_FCU_VS_MANAGED", 100, VerticalHold, I, "= not AUTOPILOT VERTICAL HOLD"),
    variable(
        "A320_FCU_SHOW_SELECTED_HEADING", 104, ShowSelectedHeading, D,
        "selected heading shown: set by HDG hold on and the heading knob, cleared by hold off"),
};

bool isFlag(const CockpitVarInfo& cockpit) {
    return AircraftModel::range(cockpit.var).kind == ValueRange::Flag;
}

}  // namespace

std::span<const CockpitVarInfo> allCockpitVars() {
    return kCockpitVars;
}

const CockpitVarInfo* findCockpitVar(std::string_view name) {
    for (const CockpitVarInfo& cockpit : kCockpitVars) {
        if (cockpit.name == name) return &cockpit;
    }
    return nullptr;
}

double readCockpitVar(const AircraftModel& model, const CockpitVarInfo& cockpit) {
    return cockpit.command != nullptr ? 0.0 : model.read(cockpit.var, cockpit.view);
}

std::int32_t publishedTenths(const AircraftModel& model, const CockpitVarInfo& cockpit) {
    // Free variables can hold any value a set command gives; the slot saturates.
    constexpr double kLimit = std::numeric_limits<std::int32_t>::max();
    const double tenths = std::round(readCockpitVar(model, cockpit) * 10.0);
    return static_cast<std::int32_t>(std::clamp(tenths, -kLimit, kLimit));
}

std::string setCockpitVar(AircraftModel& model, std::string_view name, double value) {
    const CockpitVarInfo* cockpit = findCockpitVar(name);
    if (cockpit == nullptr) return "ignored: unknown name";
    if (cockpit->command != nullptr) return "ignored: not a variable";
    model.write(cockpit->var, cockpit->view, value);
    return "set";
}

std::string triggerCockpit(AircraftModel& model, std::string_view name) {
    const CockpitVarInfo* cockpit = findCockpitVar(name);
    if (cockpit == nullptr) return "ignored: unknown name";
    if (cockpit->command != nullptr) {
        cockpit->command(model);
        return "executed";
    }
    if (!isFlag(*cockpit)) return "ignored: not a flag";
    model.write(cockpit->var, cockpit->view, readCockpitVar(model, *cockpit) != 0.0 ? 0.0 : 1.0);
    return "toggled";
}

}  // namespace standin
