// The values of the racks' two wire formats: 32-bit little-endian frame fields, and the
// members of the text racks' JSON messages, with the conversions the handlers apply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

namespace rackvalue {

// A signed 32-bit field at `offset`, least significant byte first.
std::int32_t readField(const std::uint8_t* frame, std::size_t offset);
void writeField(std::uint8_t* frame, std::size_t offset, std::int32_t value);

// Doubles made frame fields: toward zero, or to the nearest with halves away from zero.
// Values beyond the 32-bit range saturate and NaN gives 0, so no simulator value can
// make the conversion undefined.
std::int32_t truncateToInt32(double value);
std::int32_t roundToInt32(double value);

// A member read as a number: integers and floating-point values; booleans, null (also a
// missing member) and strings raise the JSON library's type error.
double memberAsDouble(const nlohmann::json& message, const std::string& key);
// A member read as a 32-bit integer: booleans, integers and floating-point values
// (truncated toward zero); null, a missing member and strings raise the type error.
std::int32_t memberAsInt32(const nlohmann::json& message, const std::string& key);

}  // namespace rackvalue
