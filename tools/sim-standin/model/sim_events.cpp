#include "sim-standin/model/sim_events.h"

#include <array>

#include "sim-standin/model/sim_units.h"

namespace standin {
namespace {

using enum ModelVar;
using Model = AircraftModel;

// An axis event's data runs from -16384 (released) to 16384 (fully applied).
double axisFraction(std::int32_t data) {
    return (static_cast<double>(data) + 16384.0) / 32768.0;
}

void stepVerticalTarget(Model& m, int direction) {
    // In TRK/FPA mode the same knob selects the flight-path angle.
    if (m.get(TrkFpaMode) != 0.0) {
        m.step(FlightPathAngle, 0.1 * direction);
    } else {
        m.step(VerticalSpeed, 100.0 * direction);
    }
}

void holdHeading(Model& m, double on) {
    m.set(HeadingHold, on);
    m.set(ShowSelectedHeading, on);
}

void stepHeading(Model& m, double delta) {
    m.step(Heading, delta);
    m.set(ShowSelectedHeading, 1);
}

constexpr std::array kEvents{
    SimEventInfo{"AP_MASTER", [](Model& m, std::int32_t) { m.toggle(ApMaster); },
                 "toggles autopilot 1"},
    SimEventInfo{"RUDDER_TRIM_LEFT", [](Model& m, std::int32_t) { m.step(RudderTrim, -0.01); },
                 "rudder trim 1 percent left"},
    SimEventInfo{"RUDDER_TRIM_RIGHT", [](Model& m, std::int32_t) { m.step(RudderTrim, 0.01); },
                 "rudder trim 1 percent right"},
    SimEventInfo{"SPOILERS_INC", [](Model& m, std::int32_t) { m.step(Spoilers, 0.04); },
                 "speed brake handle 4 percent out"},
    SimEventInfo{"SPOILERS_DEC", [](Model& m, std::int32_t) { m.step(Spoilers, -0.04); },
                 "speed brake handle 4 percent in"},
    SimEventInfo{"AXIS_RIGHT_BRAKE_SET",
                 [](Model& m, std::int32_t d) { m.set(BrakeRight, axisFraction(d)); },
                 "right brake from the data, -16384 released to 16384 full"},
    SimEventInfo{"AXIS_LEFT_BRAKE_SET",
                 [](Model& m, std::int32_t d) { m.set(BrakeLeft, axisFraction(d)); },
                 "left brake from the data, -16384 released to 16384 full"},
    SimEventInfo{"KOHLSMAN_INC", [](Model& m, std::int32_t) { m.step(Kohlsman, 1); },
                 "barometric setting 1 millibar up"},
    SimEventInfo{"KOHLSMAN_DEC", [](Model& m, std::int32_t) { m.step(Kohlsman, -1); },
                 "barometric setting 1 millibar down"},
    SimEventInfo{"TOGGLE_FLIGHT_DIRECTOR", [](Model& m, std::int32_t) { m.toggle(FlightDirector); },
                 "toggles the flight director"},
    SimEventInfo{"AP_SPD_VAR_INC", [](Model& m, std::int32_t) { m.step(Speed, 1); },
                 "selected speed 1 knot up"},
    SimEventInfo{"AP_SPD_VAR_DEC", [](Model& m, std::int32_t) { m.step(Speed, -1); },
                 "selected speed 1 knot down"},
    SimEventInfo{"AP_AIRSPEED_ON", [](Model& m, std::int32_t) { m.set(SpeedHold, 1); },
                 "flies the selected speed (speed managed dot off)"},
    SimEventInfo{"AP_AIRSPEED_OFF", [](Model& m, std::int32_t) { m.set(SpeedHold, 0); },
                 "speed managed (dot on)"},
    SimEventInfo{"AP_HDG_HOLD_ON", [](Model& m, std::int32_t) { holdHeading(m, 1); },
                 "flies the selected heading (heading managed dot off, selected heading shown)"},
    SimEventInfo{"AP_HDG_HOLD_OFF", [](Model& m, std::int32_t) { holdHeading(m, 0); },
                 "heading managed (dot on, selected heading hidden)"},
    SimEventInfo{"HEADING_BUG_INC", [](Model& m, std::int32_t) { stepHeading(m, 1); },
                 "selected heading 1 degree right, shown"},
    SimEventInfo{"HEADING_BUG_DEC", [](Model& m, std::int32_t) { stepHeading(m, -1); },
                 "selected heading 1 degree left, shown"},
    SimEventInfo{"AP_LOC_HOLD", [](Model& m, std::int32_t) { m.toggle(LocHold); },
                 "toggles the localizer mode"},
    SimEventInfo{"AUTO_THROTTLE_ARM",
                 [](Model& m, std::int32_t) {
                     m.set(AutothrustStatus, m.get(AutothrustStatus) != 0.0 ? 0 : 1);
                 },
                 "arms the autothrust (status 1), or turns it off"},
    SimEventInfo{"AP_ALT_HOLD_ON", [](Model& m, std::int32_t) { m.set(AltitudeHold, 1); },
                 "holds the selected altitude (altitude managed off)"},
    SimEventInfo{"AP_ALT_HOLD_OFF", [](Model& m, std::int32_t) { m.set(AltitudeHold, 0); },
                 "altitude managed"},
    SimEventInfo{"AP_ALT_VAR_INC", [](Model& m, std::int32_t) { m.stepAltitude(1); },
                 "selected altitude up to the next multiple of the increment"},
    SimEventInfo{"AP_ALT_VAR_DEC", [](Model& m, std::int32_t) { m.stepAltitude(-1); },
                 "selected altitude down to the next multiple of the increment"},
    SimEventInfo{"AP_VS_ON", [](Model& m, std::int32_t) { m.set(VerticalHold, 1); },
                 "flies the selected vertical speed (vertical speed managed off)"},
    SimEventInfo{"AP_VS_OFF", [](Model& m, std::int32_t) { m.set(VerticalHold, 0); },
                 "vertical speed managed"},
    SimEventInfo{"AP_VS_HOLD", [](Model& m, std::int32_t) { m.toggle(VerticalHold); },
                 "toggles the vertical speed hold"},
    SimEventInfo{"AP_VS_VAR_INC", [](Model& m, std::int32_t) { stepVerticalTarget(m, 1); },
                 "selected vertical speed 100 ft/min up (flight-path angle 0.1 degree in TRK/FPA)"},
    SimEventInfo{
        "AP_VS_VAR_DEC", [](Model& m, std::int32_t) { stepVerticalTarget(m, -1); },
        "selected vertical speed 100 ft/min down (flight-path angle 0.1 degree in TRK/FPA)"},
    SimEventInfo{"AP_APR_HOLD", [](Model& m, std::int32_t) { m.toggle(ApproachHold); },
                 "toggles the approach mode"},
};

constexpr std::array<std::string_view, 9> kSystemEvents{
    "SimStart", "SimStop", "Sim", "Pause", "Crashed", "1sec", "4sec", "6Hz", "Frame"};

}  // namespace

std::span<const SimEventInfo> allSimEvents() {
    return kEvents;
}

const SimEventInfo* findSimEvent(std::string_view name) {
    for (const SimEventInfo& event : kEvents) {
        if (sameName(event.name, name)) return &event;
    }
    return nullptr;
}

bool isClientEventName(std::string_view name) {
    return name.empty() || name.find('.') != std::string_view::npos;
}

bool isSystemEvent(std::string_view name) {
    for (std::string_view known : kSystemEvents) {
        if (sameName(known, name)) return true;
    }
    return false;
}

}  // namespace standin
