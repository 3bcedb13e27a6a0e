#include "app/cockpit_vars.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/sim_session.h"
#include "base/little_endian.h"

namespace cockpit {

const std::array<Slot, 27> kSlots = {{
    {0, "XMLVAR_Baro1_Mode"},
    {4, "BTN_LS_1_FILTER_ACTIVE"},
    {8, "A32NX_EFIS_L_ND_RANGE"},
    {12, "A32NX_EFIS_L_ND_MODE"},
    {16, "A32NX_EFIS_L_OPTION"},
    {20, "(>H:A32NX.FCU_ALT_INCREMENT_SET)"},
    {24, "(>H:A320_Neo_FCU_EXPED_PUSH)"},
    {28, "(>H:A32NX.FCU_TRK_FPA_TOGGLE_PUSH)"},
    {32, "XMLVAR_Autopilot_Altitude_Increment"},
    {36, "(>H:A320_Neo_FCU_VS_PUSH)"},
    {40, "(>H:A320_Neo_FCU_VS_PULL)"},
    {44, "(>H:A320_Neo_CDU_VS)"},
    {48, "A32NX_AUTOPILOT_VS_SELECTED"},
    {52, "A32NX_AUTOPILOT_FPA_SELECTED"},
    {56, "A32NX_FCU_LOC_MODE_ACTIVE"},
    {60, "A32NX_AUTOPILOT_1_ACTIVE"},
    {64, "A32NX_AUTOTHRUST_STATUS"},
    {68, "A32NX_FMA_EXPEDITE_MODE"},
    {72, "A32NX_FCU_APPR_MODE_ACTIVE"},
    {76, "A32NX_AUTOPILOT_SPEED_SELECTED"},
    {80, "A32NX_FCU_SPD_MANAGED_DOT"},
    {84, "A32NX_AUTOPILOT_HEADING_SELECTED"},
    {88, "A32NX_FCU_HDG_MANAGED_DOT"},
    {92, "A32NX_FCU_ALT_MANAGED"},
    {96, "A32NX_TRK_FPA_MODE_ACTIVE"},
    {100, "A32NX_FCU_VS_MANAGED"},
    {104, "A320_FCU_SHOW_SELECTED_HEADING"},
}};

namespace {

// Copies the name and leaves at least one zero byte after it.
bool packName(const std::string& name, std::size_t at, Payload& payload) {
    if (name.size() >= payload.size() - at) return false;
    std::memcpy(payload.data() + at, name.data(), name.size());
    return true;
}

}  // namespace

bool packTriggerCommand(const std::string& name, Payload& payload) {
    Payload packed{};
    packed[0] = kTriggerCommand;
    if (!packName(name, 1, packed)) return false;
    payload = packed;
    return true;
}

bool packSetCommand(const std::string& name, std::int32_t value, Payload& payload) {
    Payload packed{};
    packed[0] = kSetCommand;
    packed[1] = static_cast<std::uint8_t>(value & 0xFF);
    packed[2] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    if (!packName(name, 3, packed)) return false;
    payload = packed;
    return true;
}

}  // namespace cockpit

void SimSession::registerCockpitVars() {
    for (const cockpit::Slot& slot : cockpit::kSlots)
        cockpitVarSlots.emplace(slot.name, slot.offset);
}

void SimSession::registerClientDataAreas() {
    noteRequest(SimConnect_AddToClientDataDefinition(hSimConnect, cockpit::kBlockDefinitionId, 0,
                                                     static_cast<DWORD>(cockpit::kBlockSize), 0.0f,
                                                     SIMCONNECT_UNUSED),
                "SimConnect_AddToClientDataDefinition");
    noteRequest(SimConnect_MapClientDataNameToID(hSimConnect, cockpit::kDownlinkAreaName,
                                                 cockpit::kDownlinkAreaId),
                "SimConnect_MapClientDataNameToID");
    noteRequest(SimConnect_MapClientDataNameToID(hSimConnect, cockpit::kUplinkAreaName,
                                                 cockpit::kUplinkAreaId),
                "SimConnect_MapClientDataNameToID");
    noteRequest(SimConnect_RequestClientData(hSimConnect, cockpit::kDownlinkAreaId,
                                             cockpit::kDownlinkRequestId, cockpit::kBlockDefinitionId,
                                             SIMCONNECT_CLIENT_DATA_PERIOD_ON_SET,
                                             SIMCONNECT_CLIENT_DATA_REQUEST_FLAG_CHANGED, 0, 0, 0),
                "SimConnect_RequestClientData");
}

// Looks the name up without inserting: rack threads read the table concurrently.
std::int32_t SimState::readCockpitVarRaw(const std::string& name) const {
    if (slots == nullptr) return 0;
    const auto found = slots->find(name);
    if (found == slots->end() || found->second > cockpit::kPayloadSize - 4) return 0;
    return static_cast<std::int32_t>(
        LoadU32(downlinkBlock.data() + cockpit::kPayloadOffset + found->second));
}

std::int32_t SimState::readCockpitVar(const std::string& name) const {
    return static_cast<std::int32_t>(readCockpitVarRaw(name) / 10.0);
}

SimState SimSession::readState() const {
    StateRead hold(*stateLockPtr);
    return {downlinkBlock, kohlsmanMb, flightDirectorActive, apAltitudeLock, &cockpitVarSlots};
}

std::int32_t SimSession::readCockpitVar(const std::string& name) const {
    return readState().readCockpitVar(name);
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
    noteRequest(SimConnect_SetClientData(hSimConnect, cockpit::kUplinkAreaId,
                                         cockpit::kBlockDefinitionId, 0, 0,
                                         static_cast<DWORD>(block.size()), block.data()),
                "SimConnect_SetClientData");
    return true;
}
