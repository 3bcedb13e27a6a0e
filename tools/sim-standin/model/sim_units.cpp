#include "sim-standin/model/sim_units.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <iterator>
#include <numbers>
#include <vector>

namespace standin {
namespace {

constexpr double kMillibarsPerInHg = 33.8639;
constexpr double kFeetPerMeter = 1.0 / 0.3048;

// The first unit listed for a quantity is its base unit.
constexpr std::array kUnits{
    SimUnit{"position", Quantity::Position, 1.0},
    SimUnit{"percent", Quantity::Position, 100.0},
    SimUnit{"percent over 100", Quantity::Position, 1.0},
    SimUnit{"position 16K", Quantity::Position, 16384.0},
    SimUnit{"position 32K", Quantity::Position, 32768.0},
    SimUnit{"position 128", Quantity::Position, 128.0},
    SimUnit{"Bool", Quantity::Boolean, 1.0},
    SimUnit{"boolean", Quantity::Boolean, 1.0},
    SimUnit{"Millibars", Quantity::Pressure, 1.0},
    SimUnit{"millibar", Quantity::Pressure, 1.0},
    SimUnit{"mbar", Quantity::Pressure, 1.0},
    SimUnit{"hectopascals", Quantity::Pressure, 1.0},
    SimUnit{"hPa", Quantity::Pressure, 1.0},
    SimUnit{"inHg", Quantity::Pressure, 1.0 / kMillibarsPerInHg},
    SimUnit{"inches of mercury", Quantity::Pressure, 1.0 / kMillibarsPerInHg},
    SimUnit{"knots", Quantity::Speed, 1.0},
    SimUnit{"knot", Quantity::Speed, 1.0},
    SimUnit{"kts", Quantity::Speed, 1.0},
    SimUnit{"meters per second", Quantity::Speed, 1852.0 / 3600.0},
    SimUnit{"kilometers per hour", Quantity::Speed, 1.852},
    SimUnit{"miles per hour", Quantity::Speed, 1.150779},
    SimUnit{"degrees", Quantity::Angle, 1.0},
    SimUnit{"degree", Quantity::Angle, 1.0},
    SimUnit{"radians", Quantity::Angle, std::numbers::pi / 180.0},
    SimUnit{"radian", Quantity::Angle, std::numbers::pi / 180.0},
    SimUnit{"feet", Quantity::Length, 1.0},
    SimUnit{"foot", Quantity::Length, 1.0},
    SimUnit{"meters", Quantity::Length, 1.0 / kFeetPerMeter},
    SimUnit{"meter", Quantity::Length, 1.0 / kFeetPerMeter},
    SimUnit{"feet per minute", Quantity::VerticalSpeed, 1.0},
    SimUnit{"feet/minute", Quantity::VerticalSpeed, 1.0},
    SimUnit{"feet per second", Quantity::VerticalSpeed, 1.0 / 60.0},
    SimUnit{"meters per second", Quantity::VerticalSpeed, 1.0 / kFeetPerMeter / 60.0},
};

std::vector<SimUnit> unitsOf(Quantity quantity) {
    std::vector<SimUnit> units;
    std::copy_if(kUnits.begin(), kUnits.end(), std::back_inserter(units),
                 [quantity](const SimUnit& unit) { return unit.quantity == quantity; });
    return units;
}

}  // namespace

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (std::tolower(ca) != std::tolower(cb)) return false;
    }
    return true;
}

std::optional<SimUnit> findUnit(std::string_view name, Quantity quantity) {
    if (sameName(name, "number")) return SimUnit{"number", quantity, 1.0};
    for (const SimUnit& unit : unitsOf(quantity)) {
        if (sameName(unit.name, name)) return unit;
    }
    return std::nullopt;
}

std::string_view baseUnitName(Quantity quantity) {
    auto units = unitsOf(quantity);
    return units.empty() ? "number" : units.front().name;
}

std::string unitNames(Quantity quantity) {
    std::string names;
    for (const SimUnit& unit : unitsOf(quantity)) names.append(unit.name).append(", ");
    return names + "number";
}

}  // namespace standin
