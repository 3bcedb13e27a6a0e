#include "racks/rack_values.h"

#include <cmath>
#include <limits>

#include "base/little_endian.h"

namespace rackvalue {

namespace {

// A missing member reads as null, so it fails its conversion with the library's own text.
const nlohmann::json& member(const nlohmann::json& message, const std::string& key) {
    static const nlohmann::json missing;
    const auto found = message.find(key);
    return found != message.end() ? *found : missing;
}

}  // namespace

std::int32_t readField(const std::uint8_t* frame, std::size_t offset) {
    return LoadI32(frame + offset);
}

void writeField(std::uint8_t* frame, std::size_t offset, std::int32_t value) {
    StoreI32(frame + offset, value);
}

std::int32_t truncateToInt32(double value) {
    using Limits = std::numeric_limits<std::int32_t>;
    if (std::isnan(value)) return 0;
    if (value <= static_cast<double>(Limits::min())) return Limits::min();
    if (value >= static_cast<double>(Limits::max())) return Limits::max();
    return static_cast<std::int32_t>(value);
}

std::int32_t roundToInt32(double value) {
    return truncateToInt32(std::round(value));
}

double memberAsDouble(const nlohmann::json& message, const std::string& key) {
    return member(message, key).get<double>();
}

std::int32_t memberAsInt32(const nlohmann::json& message, const std::string& key) {
    const nlohmann::json& value = member(message, key);
    if (value.is_number_float()) return truncateToInt32(value.get<double>());
    return value.get<std::int32_t>();
}

}  // namespace rackvalue
