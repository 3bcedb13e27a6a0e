#include "panel_fields.h"

#include <cstring>
#include <span>

#include "base/little_endian.h"

namespace monitor {

namespace {

using nlohmann::json;

struct Field {
    const char* name;
    std::size_t offset;
    const char* kind;
};

// Byte offsets of the little-endian 32-bit fields after each frame's '{'.
constexpr Field kEfisInput[] = {
    {"baro", 1, "knob"},      {"baro_mode", 5, "selector"}, {"fd", 9, "switch"},
    {"ls", 13, "switch"},     {"nd_range", 17, "selector"}, {"nd_mode", 21, "selector"},
    {"option", 25, "selector"},
};
constexpr Field kEfisOutput[] = {
    {"baro", 1, ""}, {"option", 5, ""}, {"fd", 9, ""}, {"ls", 13, ""}, {"baro_mode", 17, ""},
};
constexpr Field kFcuInput[] = {
    {"spd", 1, "knob"},          {"hdg", 5, "knob"},
    {"alt", 9, "knob"},          {"vs", 13, "knob"},
    {"spd_on", 17, "switch"},    {"hdg_on", 21, "switch"},
    {"alt_hold_on", 25, "switch"}, {"vs_hold", 29, "switch"},
    {"loc", 33, "switch"},       {"ap1", 37, "switch"},
    {"athr", 41, "switch"},      {"appr", 45, "switch"},
    {"exped", 49, "switch"},     {"alt_inc_100", 53, "switch"},
    {"alt_inc_1000", 57, "switch"}, {"vs_push", 61, "switch"},
    {"spd_off", 65, "switch"},   {"hdg_off", 69, "switch"},
    {"alt_hold_off", 73, "switch"}, {"vs_pull", 77, "switch"},
};
constexpr Field kFcuOutput[] = {
    {"trk_fpa", 1, ""},      {"spd", 5, ""},  {"spd_dot", 9, ""},     {"hdg", 13, ""},
    {"hdg_dot", 17, ""},     {"alt", 21, ""}, {"alt_managed", 25, ""}, {"vs", 29, ""},
    {"fpa", 33, ""},         {"vs_managed", 37, ""}, {"lights", 41, ""}, {"show_hdg", 45, ""},
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
            fields.push_back({{"name", field.name}, {"kind", field.kind}, {"value", fieldValue(field, frame)}});
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
        fields.push_back({{"name", member.name}, {"kind", member.kind}, {"value", found->is_null() ? json("null") : *found},
                          {"min", member.min}, {"max", member.max}});
    }
    for (const auto& [name, value] : message.items()) {
        bool known = false;
        for (const Member& member : members(kind)) known = known || name == member.name;
        if (!known)
            fields.push_back({{"name", name}, {"kind", "value"},
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
