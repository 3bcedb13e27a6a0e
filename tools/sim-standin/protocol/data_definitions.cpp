#include "sim-standin/protocol/data_definitions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "simconnect/SimConnect.h"

namespace standin {
namespace {

// Whole-number types take the value truncated toward zero, saturated to their range.
template <typename Int>
Int saturated(double value) {
    constexpr double kLow = static_cast<double>(std::numeric_limits<Int>::min());
    // The largest double below the type's maximum plus one.
    constexpr double kHigh = static_cast<double>(std::numeric_limits<Int>::max() / 2 + 1) * 2.0;
    const double whole = std::trunc(value);
    if (!(whole >= kLow)) return std::numeric_limits<Int>::min();
    if (whole >= kHigh) return std::numeric_limits<Int>::max();
    return static_cast<Int>(whole);
}

void encodeOne(std::uint8_t* at, std::uint32_t type, double value) {
    switch (type) {
        case SIMCONNECT_DATATYPE_INT32:
            StoreU32(at, static_cast<std::uint32_t>(saturated<std::int32_t>(value)));
            break;
        case SIMCONNECT_DATATYPE_INT64:
            StoreU64(at, static_cast<std::uint64_t>(saturated<std::int64_t>(value)));
            break;
        case SIMCONNECT_DATATYPE_FLOAT32:
            StoreF32(at, static_cast<float>(value));
            break;
        default:
            StoreF64(at, value);
            break;
    }
}

double decodeOne(const std::uint8_t* at, std::uint32_t type) {
    switch (type) {
        case SIMCONNECT_DATATYPE_INT32:
            return static_cast<std::int32_t>(LoadU32(at));
        case SIMCONNECT_DATATYPE_INT64:
            return static_cast<double>(static_cast<std::int64_t>(LoadU64(at)));
        case SIMCONNECT_DATATYPE_FLOAT32:
            return LoadF32(at);
        default:
            return LoadF64(at);
    }
}

}  // namespace

std::uint32_t datumTypeSize(std::uint32_t type) {
    switch (type) {
        case SIMCONNECT_DATATYPE_INT32:
        case SIMCONNECT_DATATYPE_FLOAT32:
            return 4;
        case SIMCONNECT_DATATYPE_INT64:
        case SIMCONNECT_DATATYPE_FLOAT64:
            return 8;
        default:
            return 0;
    }
}

void DataDefinition::add(SimDatum datum) {
    size_ += datumTypeSize(datum.type);
    datums_.push_back(std::move(datum));
}

std::vector<double> DataDefinition::values(const AircraftModel& model) const {
    std::vector<double> out;
    out.reserve(datums_.size());
    for (const SimDatum& datum : datums_)
        out.push_back(readSimVar(model, *datum.var) * datum.unit.perBase);
    return out;
}

bool DataDefinition::differs(const std::vector<double>& a, const std::vector<double>& b) const {
    if (a.size() != b.size() || a.size() != datums_.size()) return true;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double epsilon = datums_[i].epsilon;
        if (epsilon > 0 ? std::fabs(a[i] - b[i]) > epsilon : a[i] != b[i]) return true;
    }
    return false;
}

Bytes DataDefinition::encode(const std::vector<double>& values) const {
    Bytes block(size_, 0);
    std::size_t at = 0;
    for (std::size_t i = 0; i < datums_.size(); ++i) {
        encodeOne(&block[at], datums_[i].type, values[i]);
        at += datumTypeSize(datums_[i].type);
    }
    return block;
}

Json DataDefinition::describe(const std::vector<double>& values) const {
    Json out = Json::object();
    for (std::size_t i = 0; i < datums_.size() && i < values.size(); ++i) {
        out[datums_[i].name] = values[i];
    }
    return out;
}

std::vector<double> DataDefinition::decode(const std::uint8_t* data) const {
    std::vector<double> out;
    std::size_t at = 0;
    for (const SimDatum& datum : datums_) {
        out.push_back(decodeOne(data + at, datum.type));
        at += datumTypeSize(datum.type);
    }
    return out;
}

void DataDefinition::store(AircraftModel& model, const std::vector<double>& values) const {
    for (std::size_t i = 0; i < datums_.size() && i < values.size(); ++i) {
        writeSimVar(model, *datums_[i].var, values[i] / datums_[i].unit.perBase);
    }
}

std::optional<std::uint32_t> clientDatumSize(std::uint32_t sizeOrType) {
    static constexpr std::uint32_t kTypeSizes[] = {1, 2, 4, 8, 4, 8};  // -1 to -6
    const auto asSigned = static_cast<std::int32_t>(sizeOrType);
    if (asSigned >= -6 && asSigned <= -1) return kTypeSizes[-asSigned - 1];
    // No area is larger than a message can carry.
    if (asSigned > 0 && sizeOrType <= 65536) return sizeOrType;
    return std::nullopt;
}

void ClientDataDefinition::add(ClientDatum datum) {
    size_ += datum.size;
    extent_ = std::max(extent_, std::uint64_t{datum.offset} + datum.size);
    datums_.push_back(datum);
}

Bytes ClientDataDefinition::extract(const Bytes& area) const {
    Bytes block;
    block.reserve(size_);
    for (const ClientDatum& datum : datums_) {
        const auto first = area.begin() + datum.offset;
        block.insert(block.end(), first, first + datum.size);
    }
    return block;
}

void ClientDataDefinition::insert(Bytes& area, const std::uint8_t* data) const {
    for (const ClientDatum& datum : datums_) {
        std::memcpy(area.data() + datum.offset, data, datum.size);
        data += datum.size;
    }
}

}  // namespace standin
