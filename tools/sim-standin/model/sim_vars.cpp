#include "sim-standin/model/sim_vars.h"

#include <array>
#include <cctype>

namespace standin {
namespace {

using enum ModelVar;
using Q = Quantity;

constexpr std::array kSimVars{
    SimVarInfo{"AILERON POSITION", Aileron, VarView::Direct, Q::Position, "aileron deflection"},
    SimVarInfo{"ELEVATOR POSITION", Elevator, VarView::Direct, Q::Position, "elevator deflection"},
    SimVarInfo{"SMART CAMERA ACTIVE", SmartCamera, VarView::Direct, Q::Boolean, "smart camera on"},
    SimVarInfo{"RUDDER POSITION", Rudder, VarView::Direct, Q::Position, "rudder deflection"},
    SimVarInfo{"RUDDER TRIM PCT", RudderTrim, VarView::Direct, Q::Position,
               "rudder trim; RUDDER_TRIM_LEFT/RIGHT step it by 1 percent"},
    SimVarInfo{"BRAKE LEFT POSITION", BrakeLeft, VarView::Direct, Q::Position,
               "left wheel brake; AXIS_LEFT_BRAKE_SET sets it"},
    SimVarInfo{"BRAKE RIGHT POSITION", BrakeRight, VarView::Direct, Q::Position,
               "right wheel brake; AXIS_RIGHT_BRAKE_SET sets it"},
    SimVarInfo{"SPOILERS HANDLE POSITION", Spoilers, VarView::Direct, Q::Position,
               "speed brake handle; SPOILERS_INC/DEC step it by 4 percent"},
    SimVarInfo{"KOHLSMAN SETTING MB", Kohlsman, VarView::Direct, Q::Pressure,
               "barometric setting; KOHLSMAN_INC/DEC step it by 1 millibar"},
    SimVarInfo{"AUTOPILOT FLIGHT DIRECTOR ACTIVE", FlightDirector, VarView::Direct, Q::Boolean,
               "flight director; TOGGLE_FLIGHT_DIRECTOR toggles it"},
    SimVarInfo{"AUTOPILOT AIRSPEED HOLD VAR", Speed, VarView::Direct, Q::Speed,
               "selected speed; AP_SPD_VAR_INC/DEC step it by 1 knot"},
    SimVarInfo{"AUTOPILOT HEADING LOCK DIR", Heading, VarView::Direct, Q::Angle,
               "selected heading; HEADING_BUG_INC/DEC step it by 1 degree"},
    SimVarInfo{"AUTOPILOT ALTITUDE LOCK VAR", Altitude, VarView::Direct, Q::Length,
               "selected altitude; AP_ALT_VAR_INC/DEC step it by the altitude increment"},
    SimVarInfo{"AUTOPILOT VERTICAL HOLD VAR", VerticalSpeed, VarView::Direct, Q::VerticalSpeed,
               "selected vertical speed; AP_VS_VAR_INC/DEC step it by 100 ft/min"},
    SimVarInfo{"AUTOPILOT MASTER", ApMaster, VarView::Direct, Q::Boolean,
               "autopilot 1; AP_MASTER toggles it"},
    SimVarInfo{"AUTOPILOT AIRSPEED HOLD", SpeedHold, VarView::Direct, Q::Boolean,
               "selected speed flown; AP_AIRSPEED_ON/OFF"},
    SimVarInfo{"AUTOPILOT HEADING LOCK", HeadingHold, VarView::Direct, Q::Boolean,
               "selected heading flown; AP_HDG_HOLD_ON/OFF"},
    SimVarInfo{"AUTOPILOT ALTITUDE LOCK", AltitudeHold, VarView::Direct, Q::Boolean,
               "selected altitude held; AP_ALT_HOLD_ON/OFF"},
    SimVarInfo{"AUTOPILOT VERTICAL HOLD", VerticalHold, VarView::Direct, Q::Boolean,
               "selected vertical speed flown; AP_VS_ON/OFF, AP_VS_HOLD toggles"},
    SimVarInfo{"AUTOPILOT NAV1 LOCK", LocHold, VarView::Direct, Q::Boolean,
               "localizer mode; AP_LOC_HOLD toggles it"},
    SimVarInfo{"AUTOPILOT APPROACH HOLD", ApproachHold, VarView::Direct, Q::Boolean,
               "approach mode; AP_APR_HOLD toggles it"},
    SimVarInfo{"AUTOPILOT THROTTLE ARM", AutothrustStatus, VarView::Engaged, Q::Boolean,
               "autothrust armed or active; AUTO_THROTTLE_ARM toggles it"},
};

// "NAME:3" names variable NAME; the index must be all digits.
std::string_view withoutIndex(std::string_view name) {
    const std::size_t colon = name.rfind(':');
    if (colon == std::string_view::npos || colon + 1 == name.size()) return name;
    for (std::size_t i = colon + 1; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return name;
    }
    return name.substr(0, colon);
}

}  // namespace

std::span<const SimVarInfo> allSimVars() {
    return kSimVars;
}

const SimVarInfo* findSimVar(std::string_view name) {
    const std::string_view base = withoutIndex(name);
    for (const SimVarInfo& simVar : kSimVars) {
        if (sameName(simVar.name, base)) return &simVar;
    }
    return nullptr;
}

double readSimVar(const AircraftModel& model, const SimVarInfo& simVar) {
    return model.read(simVar.var, simVar.view);
}

void writeSimVar(AircraftModel& model, const SimVarInfo& simVar, double baseValue) {
    model.write(simVar.var, simVar.view, baseValue);
}

}  // namespace standin
