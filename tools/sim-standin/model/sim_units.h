// The units in which clients may ask for the model's simulation variables. Each variable
// measures one quantity and is kept in that quantity's base unit; a unit is a factor on it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace standin {

enum class Quantity { Position, Boolean, Pressure, Speed, Angle, Length, VerticalSpeed };

struct SimUnit {
    std::string_view name;
    Quantity quantity;
    double perBase;  // value in this unit = value in the base unit * perBase
};

// The unit named `name` (compared without regard to case) that measures `quantity`;
// "number" measures every quantity in its base unit.
std::optional<SimUnit> findUnit(std::string_view name, Quantity quantity);

// The base unit's name, for the help text.
std::string_view baseUnitName(Quantity quantity);

// The names accepted for a quantity, comma-separated, for the help text.
std::string unitNames(Quantity quantity);

// Case-insensitive comparison of ASCII names, as the simulator compares its names.
bool sameName(std::string_view a, std::string_view b);

}  // namespace standin
