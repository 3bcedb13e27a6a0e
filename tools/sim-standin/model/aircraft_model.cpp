#include "sim-standin/model/aircraft_model.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace standin {
namespace {

constexpr ValueRange flag(double initial) {
    return {ValueRange::Flag, 0, 1, initial};
}
constexpr ValueRange clamp(double min, double max, double initial) {
    return {ValueRange::Clamp, min, max, initial};
}
constexpr ValueRange free(double initial) {
    return {ValueRange::Free, 0, 0, initial};
}

// In the order of ModelVar.
constexpr std::array<ValueRange, static_cast<std::size_t>(ModelVar::Count)> kRanges{
    clamp(-1, 1, 0),                  // Aileron
    clamp(-1, 1, 0),                  // Elevator
    flag(0),                          // SmartCamera
    clamp(-1, 1, 0),                  // Rudder
    clamp(-1, 1, 0),                  // RudderTrim
    clamp(0, 1, 0),                   // BrakeLeft
    clamp(0, 1, 0),                   // BrakeRight
    clamp(0, 1, 0),                   // Spoilers
    clamp(745, 1100, 1013.25),        // Kohlsman
    flag(1),                          // FlightDirector
    clamp(100, 399, 250),             // Speed
    {ValueRange::Wrap, 0, 360, 180},  // Heading
    clamp(100, 49000, 10000),         // Altitude
    clamp(-6000, 6000, 0),            // VerticalSpeed
    clamp(-9.9, 9.9, 0),              // FlightPathAngle
    flag(0),                          // ApMaster
    flag(0),                          // SpeedHold
    flag(0),                          // HeadingHold
    flag(0),                          // AltitudeHold
    flag(0),                          // VerticalHold
    flag(0),                          // LocHold
    flag(0),                          // ApproachHold
    clamp(0, 2, 0),                   // AutothrustStatus
    free(0),                          // BaroMode
    flag(0),                          // LsFilter
    free(2),                          // NdRange
    free(3),                          // NdMode
    free(0),                          // EfisOption
    free(100),                        // AltitudeIncrement
    flag(0),                          // Expedite
    flag(0),                          // TrkFpaMode
    flag(0),                          // ShowSelectedHeading
};

double keepInRange(const ValueRange& range, double value) {
    switch (range.kind) {
        case ValueRange::Clamp:
            return std::clamp(value, range.min, range.max);
        case ValueRange::Wrap: {
            double wrapped = std::fmod(value - range.min, range.max - range.min);
            if (wrapped < 0) wrapped += range.max - range.min;
            // A tiny negative value wraps to the top of the range, which is its bottom.
            if (wrapped >= range.max - range.min) wrapped = 0;
            return range.min + wrapped;
        }
        case ValueRange::Flag:
            return value != 0.0 ? 1.0 : 0.0;
        case ValueRange::Free:
            break;
    }
    return value;
}

}  // namespace

AircraftModel::AircraftModel() {
    for (std::size_t i = 0; i < values_.size(); ++i) values_[i] = kRanges[i].initial;
}

const ValueRange& AircraftModel::range(ModelVar var) {
    return kRanges[index(var)];
}

void AircraftModel::set(ModelVar var, double value) {
    if (!std::isfinite(value)) return;
    values_[index(var)] = keepInRange(range(var), value);
}

void AircraftModel::step(ModelVar var, double delta) {
    set(var, std::round((get(var) + delta) * 1e6) / 1e6);
}

void AircraftModel::stepAltitude(int direction) {
    const double increment = get(ModelVar::AltitudeIncrement) == 1000 ? 1000 : 100;
    const double current = get(ModelVar::Altitude);
    // The FCU snaps to the increment: 3,500 ft goes to 4,000 or 3,000 with 1,000-ft steps.
    const double next = direction > 0
                            ? std::floor(current / increment + 1e-9) * increment + increment
                            : std::ceil(current / increment - 1e-9) * increment - increment;
    set(ModelVar::Altitude, next);
}

double AircraftModel::read(ModelVar var, VarView view) const {
    const double value = get(var);
    switch (view) {
        case VarView::Inverted:
            return value != 0.0 ? 0.0 : 1.0;
        case VarView::Engaged:
            return value != 0.0 ? 1.0 : 0.0;
        case VarView::Direct:
            break;
    }
    return value;
}

void AircraftModel::write(ModelVar var, VarView view, double value) {
    if (!std::isfinite(value)) return;
    switch (view) {
        case VarView::Inverted:
            set(var, value != 0.0 ? 0.0 : 1.0);
            return;
        case VarView::Engaged:
            // Engaging keeps an active autothrust active; it only arms one that was off.
            if (value == 0.0 || get(var) == 0.0) set(var, value != 0.0 ? 1.0 : 0.0);
            return;
        case VarView::Direct:
            set(var, value);
            return;
    }
}

std::string rangeText(ModelVar var) {
    const ValueRange& range = AircraftModel::range(var);
    std::ostringstream text;
    switch (range.kind) {
        case ValueRange::Clamp:
            text << range.min << " to " << range.max << ", ";
            break;
        case ValueRange::Wrap:
            text << range.min << " up to " << range.max << " (wrapping), ";
            break;
        case ValueRange::Flag:
            text << "0 or 1, ";
            break;
        case ValueRange::Free:
            break;
    }
    text << "starts at " << range.initial;
    return text.str();
}

}  // namespace standin
