#include "panel_fields.h"

#include <cstring>
#include <span>

#include "base/little_endian.h"
#include "racks/panel_frames.h"

namespace monitor {

namespace {

using nlohmann::json;

struct Field {
    const char* name;
    std::size_t offset;
    const char* kind;
};

namespace fcu_in = panel_frames::fcu_in;
namespace fcu_out = panel_frames::fcu_out;
namespace efis_in = panel_frames::efis_in;
namespace efis_out = panel_frames::efis_out;

// The fields the page shows, by the names it draws them under.
constexpr Field kEfisInput[] = {
    {"baro", efis_in::baroKnob, "knob"},        {"baro_mode", efis_in::baroMode, "selector"},
    {"fd", efis_in::flightDirector, "switch"},  {"ls", efis_in::ls, "switch"},
    {"nd_range", efis_in::ndRange, "selector"}, {"nd_mode", efis_in::ndMode, "selector"},
    {"option", efis_in::option, "selector"},
};
constexpr Field kEfisOutput[] = {
    {"baro", efis_out::baro, ""},          {"option", efis_out::option, ""},
    {"fd", efis_out::flightDirector, ""},  {"ls", efis_out::ls, ""},
    {"baro_mode", efis_out::baroMode, ""},
};
constexpr Field kFcuInput[] = {
    {"spd", fcu_in::speedKnob, "knob"},
    {"hdg", fcu_in::headingKnob, "knob"},
    {"alt", fcu_in::altitudeKnob, "knob"},
    {"vs", fcu_in::vsKnob, "knob"},
    {"spd_on", fcu_in::speedOn, "switch"},
    {"hdg_on", fcu_in::headingOn, "switch"},
    {"alt_hold_on", fcu_in::altHoldOn, "switch"},
    {"vs_hold", fcu_in::vsHold, "switch"},
    {"loc", fcu_in::loc, "switch"},
    {"ap1", fcu_in::autopilotMaster, "switch"},
    {"athr", fcu_in::athr, "switch"},
    {"appr", fcu_in::appr, "switch"},
    {"exped", fcu_in::exped, "switch"},
    {"alt_inc_100", fcu_in::altIncrement100, "switch"},
    {"alt_inc_1000", fcu_in::altIncrement1000, "switch"},
    {"vs_push", fcu_in::vsPush, "switch"},
    {"spd_off", fcu_in::speedOff, "switch"},
    {"hdg_off", fcu_in::headingOff, "switch"},
    {"alt_hold_off", fcu_in::altHoldOff, "switch"},
    {"vs_pull", fcu_in::vsPull, "switch"},
};
constexpr Field kFcuOutput[] = {
    {"trk_fpa", fcu_out::trackFpaMode, ""},        {"spd", fcu_out::speed, ""},
    {"spd_dot", fcu_out::speedManagedDot, ""},     {"hdg", fcu_out::heading, ""},
    {"hdg_dot", fcu_out::headingManagedDot, ""},   {"alt", fcu_out::altitude, ""},
    {"alt_managed", fcu_out::altitudeManaged, ""}, {"vs", fcu_out::verticalSpeed, ""},
    {"fpa", fcu_out::flightPathAngle, ""},         {"vs_managed", fcu_out::vsManaged, ""},
    {"lights", fcu_out::modeLights, ""},           {"show_hdg", fcu_out::showHeading, ""},
};

struct Member {
    const char* name;
    const char* kind;
    double min;
    double max;
};
constexpr Member kJoystickMembers[] = {
    {"aileron_position", "axis", -100, 100},
    {"elevator_position", "axis", -100, 100},
    {"camera_point_of_interest", "switch", 0, 1},
    {"rudder_trim_plus_pct", "switch", 0, 1},
    {"rudder_trim_minus_pct", "switch", 0, 1},
    {"spoiler_handle_plus_position", "switch", 0, 1},
    {"spoiler_handle_minus_position", "switch", 0, 1},
    {"autopilot_master", "switch", 0, 1},
};
constexpr Member kPedalsMembers[] = {
    {"rudder_position", "axis", -16384, 16384},
    {"brake_position", "axis", -16384, 16384},
};

std::span<const Field> inputFields(RackKind kind) {
    if (kind == RackKind::efis) return kEfisInput;
    if (kind == RackKind::fcu) return kFcuInput;
    return {};
}

std::span<const Field> outputFields(RackKind kind) {
    if (kind == RackKind::efis) return kEfisOutput;
    if (kind == RackKind::fcu) return kFcuOutput;
    return {};
}

std::span<const Member> members(RackKind kind) {
    if (kind == RackKind::joystick) return kJoystickMembers;
    if (kind == RackKind::pedals) return kPedalsMembers;
    return {};
}

bool fits(const Field& field, const std::vector<std::uint8_t>& frame) {
    return field.offset + 4 <= frame.size();
}

std::int32_t fieldValue(const Field& field, const std::vector<std::uint8_t>& frame) {
    return static_cast<std::int32_t>(LoadU32(frame.data() + field.offset));
}

}  // namespace

RackKind rackKindOf(const std::string& rackName) {
    if (rackName == "joystick_rack") return RackKind::joystick;
    if (rackName == "pedals_rack") return RackKind::pedals;
    if (rackName == "efis_rack") return RackKind::efis;
    if (rackName == "autopilot_rack") return RackKind::fcu;
    return RackKind::other;
}

const char* rackKindName(RackKind kind) {
    switch (kind) {
        case RackKind::joystick:
            return "joystick";
        case RackKind::pedals:
            return "pedals";
        case RackKind::efis:
            return "efis";
        case RackKind::fcu:
            return "fcu";
        case RackKind::other:
            break;
    }
    return "other";
}

json decodeInputFrame(RackKind kind, const std::vector<std::uint8_t>& frame) {
    json fields = json::array();
    for (const Field& field : inputFields(kind))
        if (fits(field, frame))
            fields.push_back(
                {{"name", field.name}, {"kind", field.kind}, {"value", fieldValue(field, frame)}});
    return fields;
}

json decodeInputText(RackKind kind, const std::string& body) {
    json fields = json::array();
    if (body.empty()) return fields;
    const json message = json::parse("{" + body + "}", nullptr, false);
    if (!message.is_object()) return fields;
    for (const Member& member : members(kind)) {
        const auto found = message.find(member.name);
        if (found == message.end()) continue;
        fields.push_back({{"name", member.name},
                          {"kind", member.kind},
                          {"value", found->is_null() ? json("null") : *found},
                          {"min", member.min},
                          {"max", member.max}});
    }
    for (const auto& [name, value] : message.items()) {
        bool known = false;
        for (const Member& member : members(kind)) known = known || name == member.name;
        if (!known)
            fields.push_back({{"name", name},
                              {"kind", "value"},
                              {"value", value.is_null() ? json("null") : value}});
    }
    return fields;
}

json decodeOutputFrame(RackKind kind, const std::vector<std::uint8_t>& frame) {
    json fields = json::object();
    for (const Field& field : outputFields(kind))
        if (fits(field, frame)) fields[field.name] = fieldValue(field, frame);
    return fields;
}

}  // namespace monitor
