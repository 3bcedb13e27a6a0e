// The stand-in's aircraft: one set of values that the simulation variables, the simulator
// events and the companion's cockpit variables all read and change. Each value keeps the
// airliner's range, so every view of it agrees and stays believable.
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace standin {

enum class ModelVar : std::size_t {
    Aileron,           // fraction of travel, -1 (left) to 1
    Elevator,          // fraction of travel, -1 to 1
    SmartCamera,       // 0 or 1
    Rudder,            // fraction of travel, -1 to 1
    RudderTrim,        // fraction of travel, -1 to 1
    BrakeLeft,         // fraction, 0 (released) to 1
    BrakeRight,        // fraction, 0 to 1
    Spoilers,          // handle position, 0 to 1
    Kohlsman,          // millibars
    FlightDirector,    // 0 or 1
    Speed,             // selected speed, knots
    Heading,           // selected heading, degrees
    Altitude,          // selected altitude, feet
    VerticalSpeed,     // selected vertical speed, feet per minute
    FlightPathAngle,   // selected flight-path angle, degrees
    ApMaster,          // autopilot 1 engaged
    SpeedHold,         // selected speed flown (the managed dot is off)
    HeadingHold,       // selected heading flown
    AltitudeHold,      // selected altitude held
    VerticalHold,      // selected vertical speed flown
    LocHold,           // localizer mode
    ApproachHold,      // approach mode
    AutothrustStatus,  // 0 off, 1 armed, 2 active
    BaroMode,
    LsFilter,
    NdRange,
    NdMode,
    EfisOption,
    AltitudeIncrement,  // feet per altitude knob detent: 100 or 1000
    Expedite,
    TrkFpaMode,
    ShowSelectedHeading,
    Count
};

// How a simulation or cockpit variable shows a model value.
enum class VarView {
    Direct,    // the value itself
    Inverted,  // a flag shown the other way round (a managed dot is on when the hold is off)
    Engaged,   // 1 when the value is not 0 (autothrust armed or active)
};

// The range a value keeps, with its starting value.
struct ValueRange {
    enum Kind { Clamp, Wrap, Flag, Free } kind;
    double min;
    double max;
    double initial;
};

class AircraftModel {
public:
    AircraftModel();

    double get(ModelVar var) const { return values_[index(var)]; }
    // Stores the value within its range; a value that is not finite changes nothing.
    void set(ModelVar var, double value);
    void toggle(ModelVar var) { set(var, get(var) != 0.0 ? 0.0 : 1.0); }
    // Steps are rounded to a millionth, so that 25 steps of 0.04 make exactly 1.
    void step(ModelVar var, double delta);
    // One altitude knob detent: to the next multiple of the altitude increment.
    void stepAltitude(int direction);

    double read(ModelVar var, VarView view) const;
    void write(ModelVar var, VarView view, double value);

    static const ValueRange& range(ModelVar var);

private:
    static std::size_t index(ModelVar var) { return static_cast<std::size_t>(var); }

    std::array<double, static_cast<std::size_t>(ModelVar::Count)> values_{};
};

// "from 100 to 399, starts at 250", for the help text.
std::string rangeText(ModelVar var);

}  // namespace standin
