#include "tools/rack-emulator/rack_layouts.h"

#include <charconv>

namespace rackemu {

namespace {

constexpr FrameField efisInputFields[] = {
    {"baro", 1, FieldKind::Knob},          {"baro_mode", 5, FieldKind::Selector},
    {"fd", 9, FieldKind::Switch},          {"ls", 13, FieldKind::Switch},
    {"nd_range", 17, FieldKind::Selector}, {"nd_mode", 21, FieldKind::Selector},
    {"option", 25, FieldKind::Selector},
};

constexpr FrameField efisOutputFields[] = {
    {"baro", 1, FieldKind::Selector},       {"option", 5, FieldKind::Selector},
    {"fd", 9, FieldKind::Selector},         {"ls", 13, FieldKind::Selector},
    {"baro_mode", 17, FieldKind::Selector},
};

constexpr FrameField fcuInputFields[] = {
    {"spd", 1, FieldKind::Knob},
    {"hdg", 5, FieldKind::Knob},
    {"alt", 9, FieldKind::Knob},
    {"vs", 13, FieldKind::Knob},
    {"spd_on", 17, FieldKind::Switch},
    {"hdg_on", 21, FieldKind::Switch},
    {"alt_hold_on", 25, FieldKind::Switch},
    {"vs_hold", 29, FieldKind::Switch},
    {"loc", 33, FieldKind::Switch},
    {"ap1", 37, FieldKind::Switch},
    {"athr", 41, FieldKind::Switch},
    {"appr", 45, FieldKind::Switch},
    {"exped", 49, FieldKind::Switch},
    {"alt_inc_100", 53, FieldKind::Switch},
    {"alt_inc_1000", 57, FieldKind::Switch},
    {"vs_push", 61, FieldKind::Switch},
    {"spd_off", 65, FieldKind::Switch},
    {"hdg_off", 69, FieldKind::Switch},
    {"alt_hold_off", 73, FieldKind::Switch},
    {"vs_pull", 77, FieldKind::Switch},
};

constexpr FrameField fcuOutputFields[] = {
    {"trk_fpa", 1, FieldKind::Selector},      {"spd", 5, FieldKind::Selector},
    {"spd_dot", 9, FieldKind::Selector},      {"hdg", 13, FieldKind::Selector},
    {"hdg_dot", 17, FieldKind::Selector},     {"alt", 21, FieldKind::Selector},
    {"alt_managed", 25, FieldKind::Selector}, {"vs", 29, FieldKind::Selector},
    {"fpa", 33, FieldKind::Selector},         {"vs_managed", 37, FieldKind::Selector},
    {"lights", 41, FieldKind::Selector},      {"show_hdg", 45, FieldKind::Selector},
};

const FrameLayout efisInput{30, efisInputFields};
const FrameLayout efisOutput{22, efisOutputFields};
const FrameLayout fcuInput{82, fcuInputFields};
const FrameLayout fcuOutput{50, fcuOutputFields};

}  // namespace

std::string_view rackName(RackKind kind) {
    switch (kind) {
        case RackKind::Joystick:
            return "joystick";
        case RackKind::Pedals:
            return "pedals";
        case RackKind::Efis:
            return "efis";
        case RackKind::Fcu:
            return "fcu";
    }
    return "";
}

std::optional<RackKind> rackFromName(std::string_view name) {
    for (RackKind kind : allRacks) {
        if (rackName(kind) == name) return kind;
    }
    return std::nullopt;
}

bool isPanel(RackKind kind) {
    return kind == RackKind::Efis || kind == RackKind::Fcu;
}

const FrameLayout& panelInputLayout(RackKind kind) {
    return kind == RackKind::Fcu ? fcuInput : efisInput;
}

const FrameLayout& panelOutputLayout(RackKind kind) {
    return kind == RackKind::Fcu ? fcuOutput : efisOutput;
}

const FrameField* findField(const FrameLayout& layout, std::string_view nameOrOffset) {
    std::size_t offset = 0;
    const char* end = nameOrOffset.data() + nameOrOffset.size();
    const auto parsed = std::from_chars(nameOrOffset.data(), end, offset);
    const bool byOffset = parsed.ec == std::errc() && parsed.ptr == end;
    for (const FrameField& field : layout.fields) {
        if (byOffset ? field.offset == offset : field.name == nameOrOffset) return &field;
    }
    return nullptr;
}

Bytes emptyFrame(const FrameLayout& layout) {
    Bytes frame(layout.length, 0);
    frame.front() = '{';
    frame.back() = '}';
    return frame;
}

bool isFramed(const FrameLayout& layout, std::span<const std::uint8_t> frame) {
    return frame.size() == layout.length && frame.front() == '{' && frame.back() == '}';
}

Json decodeFields(const FrameLayout& layout, std::span<const std::uint8_t> frame) {
    Json fields = Json::object();
    for (const FrameField& field : layout.fields) {
        fields[std::string(field.name)] = getInt32(frame, field.offset);
    }
    return fields;
}

Json defaultMembers(RackKind kind) {
    if (kind == RackKind::Pedals) return Json{{"rudder_position", 0.0}, {"brake_position", 0}};
    return Json{{"aileron_position", 0.0},
                {"elevator_position", 0.0},
                {"camera_point_of_interest", 0},
                {"rudder_trim_plus_pct", 0},
                {"rudder_trim_minus_pct", 0},
                {"spoiler_handle_plus_position", 0},
                {"spoiler_handle_minus_position", 0},
                {"autopilot_master", 0}};
}

}  // namespace rackemu
