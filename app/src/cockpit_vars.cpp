#include "app/cockpit_vars.h"

#include <cstring>

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
    StoreU16(&packed[1], static_cast<std::uint16_t>(value));
    if (!packName(name, 3, packed)) return false;
    payload = packed;
    return true;
}

}  // namespace cockpit
