// A client's data definitions: which simulation variables, in which units and types, make
// up an object-data block; and which byte ranges of a client-data area make up a
// client-data block. Both lay their datums out in the order they were added, unpadded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim-standin/model/aircraft_model.h"
#include "sim-standin/model/request_log.h"
#include "sim-standin/model/sim_units.h"
#include "sim-standin/model/sim_vars.h"
#include "sim-standin/protocol/wire_bytes.h"

namespace standin {

struct SimDatum {
    std::string name;  // as the client gave it, index included
    const SimVarInfo* var;
    SimUnit unit;
    std::uint32_t type;  // SIMCONNECT_DATATYPE_INT32, INT64, FLOAT32 or FLOAT64
    float epsilon;
};

// The bytes a datum of this type takes, or 0 for a type the stand-in does not handle.
std::uint32_t datumTypeSize(std::uint32_t type);

class DataDefinition {
public:
    void add(SimDatum datum);
    std::size_t count() const { return datums_.size(); }
    std::uint32_t size() const { return size_; }

    // The datums' current values in their units, in order.
    std::vector<double> values(const AircraftModel& model) const;
    // Whether any value moved by more than its datum's epsilon (any change for epsilon 0).
    bool differs(const std::vector<double>& a, const std::vector<double>& b) const;
    Bytes encode(const std::vector<double>& values) const;
    // {"NAME": value, ...}, for the log.
    Json describe(const std::vector<double>& values) const;
    // Reads one element of `size()` bytes and writes it into the model.
    std::vector<double> decode(const std::uint8_t* data) const;
    void store(AircraftModel& model, const std::vector<double>& values) const;

private:
    std::vector<SimDatum> datums_;
    std::uint32_t size_ = 0;
};

struct ClientDatum {
    std::uint32_t offset;
    std::uint32_t size;
};

// A client-data datum's size from dwSizeOrType: a byte count, or one of the negative
// type constants (-1 INT8 to -6 FLOAT64). Empty for anything else.
std::optional<std::uint32_t> clientDatumSize(std::uint32_t sizeOrType);

class ClientDataDefinition {
public:
    void add(ClientDatum datum);
    std::size_t count() const { return datums_.size(); }
    std::uint32_t size() const { return size_; }
    // One past the last area byte the definition touches.
    std::uint64_t extent() const { return extent_; }

    Bytes extract(const Bytes& area) const;
    void insert(Bytes& area, const std::uint8_t* data) const;

private:
    std::vector<ClientDatum> datums_;
    std::uint32_t size_ = 0;
    std::uint64_t extent_ = 0;
};

}  // namespace standin
