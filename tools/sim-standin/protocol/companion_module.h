// The companion module that runs inside the simulator: it creates the two client-data
// areas at start, publishes the cockpit variables into the downlink area and carries out
// the commands written to the uplink area.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim-standin/model/aircraft_model.h"
#include "sim-standin/protocol/uplink_command.h"
#include "sim-standin/protocol/wire_bytes.h"

namespace standin {

struct ClientDataArea {
    std::string name;
    Bytes bytes;
    std::uint64_t writes = 0;  // every write counts, whether or not it changed the content
    bool readOnly = false;
};

struct UplinkOutcome {
    UplinkCommand command;
    std::string effect;
};

class CompanionModule {
public:
    static constexpr std::string_view kDownlinkName = "orvendale.downlink";
    static constexpr std::string_view kUplinkName = "orvendale.uplink";
    static constexpr std::size_t kAreaSize = 132;

    explicit CompanionModule(AircraftModel& model);

    // Compared exactly: client-data names are the creator's own.
    std::optional<std::size_t> findArea(std::string_view name) const;
    const ClientDataArea& area(std::size_t index) const { return areas_[index]; }

    // Replaces an area's content (the caller has checked the size and that it is
    // writable). A write to the uplink is a command, carried out at once.
    std::optional<UplinkOutcome> writeArea(std::size_t index, const Bytes& content);

    // Rewrites the downlink when a published slot differs from the model; true when it did.
    // The first word counts the publications.
    bool publish();

private:
    static constexpr std::size_t kDownlink = 0;
    static constexpr std::size_t kUplink = 1;

    AircraftModel& model_;
    std::vector<ClientDataArea> areas_;
    std::uint32_t publications_ = 0;
};

}  // namespace standin
