#include "sim-standin/protocol/companion_module.h"

#include <cstring>

#include "sim-standin/model/cockpit_vars.h"

namespace standin {

CompanionModule::CompanionModule(AircraftModel& model) : model_(model) {
    areas_.push_back({std::string(kDownlinkName), Bytes(kAreaSize, 0), 0, true});
    areas_.push_back({std::string(kUplinkName), Bytes(kAreaSize, 0), 0, false});
    publish();
}

std::optional<std::size_t> CompanionModule::findArea(std::string_view name) const {
    for (std::size_t i = 0; i < areas_.size(); ++i) {
        if (areas_[i].name == name) return i;
    }
    return std::nullopt;
}

std::optional<UplinkOutcome> CompanionModule::writeArea(std::size_t index, const Bytes& content) {
    ClientDataArea& target = areas_[index];
    target.bytes = content;
    ++target.writes;
    if (index != kUplink) return std::nullopt;

    UplinkOutcome outcome{decodeUplink(target.bytes.data(), target.bytes.size()), {}};
    const UplinkCommand& command = outcome.command;
    if (command.kind == UplinkCommand::kTrigger) {
        outcome.effect = triggerCockpit(model_, command.name);
    } else if (command.kind == UplinkCommand::kSet) {
        outcome.effect = setCockpitVar(model_, command.name, command.value());
    } else {
        outcome.effect = "ignored: unknown kind";
    }
    return outcome;
}

bool CompanionModule::publish() {
    ClientDataArea& downlink = areas_[kDownlink];
    Bytes next = downlink.bytes;
    for (const CockpitVarInfo& cockpit : allCockpitVars()) {
        StoreU32(&next[4 + cockpit.offset],
                 static_cast<std::uint32_t>(publishedTenths(model_, cockpit)));
    }
    if (publications_ > 0 &&
        std::memcmp(next.data() + 4, downlink.bytes.data() + 4, kAreaSize - 4) == 0) {
        return false;
    }
    StoreU32(next.data(), ++publications_);
    downlink.bytes = std::move(next);
    ++downlink.writes;
    return true;
}

}  // namespace standin
