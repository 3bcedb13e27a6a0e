// The session's side of the cockpit-variable channel: the slot table, the client-data
// areas and the uplink commands.
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/cockpit_vars.h"
#include "app/sim_session.h"
#include "base/little_endian.h"

void SimSession::registerCockpitVars() {
    for (const cockpit::Slot& slot : cockpit::kSlots)
        cockpitVarSlots.emplace(slot.name, slot.offset);
}

void SimSession::registerClientDataAreas() {
    SimConnect_AddToClientDataDefinition(hSimConnect, cockpit::kBlockDefinitionId, 0,
                                         static_cast<DWORD>(cockpit::kBlockSize), 0.0f,
                                         SIMCONNECT_UNUSED);
    SimConnect_MapClientDataNameToID(hSimConnect, cockpit::kDownlinkAreaName,
                                     cockpit::kDownlinkAreaId);
    SimConnect_MapClientDataNameToID(hSimConnect, cockpit::kUplinkAreaName, cockpit::kUplinkAreaId);
    SimConnect_RequestClientData(hSimConnect, cockpit::kDownlinkAreaId, cockpit::kDownlinkRequestId,
                                 cockpit::kBlockDefinitionId, SIMCONNECT_CLIENT_DATA_PERIOD_ON_SET,
                                 SIMCONNECT_CLIENT_DATA_REQUEST_FLAG_CHANGED, 0, 0, 0);
}

bool SimSession::sendTriggerCommand(const std::string& name) {
    cockpit::Payload payload{};
    return cockpit::packTriggerCommand(name, payload) && sendUplinkBlock(payload);
}

bool SimSession::sendSetCommand(const std::string& name, std::int32_t value) {
    cockpit::Payload payload{};
    return cockpit::packSetCommand(name, value, payload) && sendUplinkBlock(payload);
}

bool SimSession::sendUplinkBlock(const cockpit::Payload& payload) {
    if (!coon) return false;
    cockpit::Block block{};
    // The word only has to differ from the previous block's: the generator's value repeats
    // within one second and the counter makes it differ. Unsigned arithmetic lets the sum
    // wrap instead of overflowing.
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    ++uplinkSequence_;
    StoreU32(block.data(), static_cast<std::uint32_t>(std::rand()) + uplinkSequence_);
    std::memcpy(block.data() + cockpit::kPayloadOffset, payload.data(), payload.size());
    SimConnect_SetClientData(hSimConnect, cockpit::kUplinkAreaId, cockpit::kBlockDefinitionId, 0, 0,
                             static_cast<DWORD>(block.size()), block.data());
    return true;
}
