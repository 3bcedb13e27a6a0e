#include "rack-emulator/rack_layouts.h"

#include <charconv>

#include "panel_layouts.h"

namespace rackemu {

namespace {

namespace ec = rackkit::efis_controls;
namespace ed = rackkit::efis_displays;
namespace fc = rackkit::fcu_controls;
namespace fd = rackkit::fcu_displays;

constexpr FrameField efisInputFields[] = {
    {"baro", ec::baroKnob, FieldKind::Knob},      {"baro_mode", ec::baroMode, FieldKind::Selector},
    {"fd", ec::flightDirector, FieldKind::Switch}, {"ls", ec::ls, FieldKind::Switch},
    {"nd_range", ec::ndRange, FieldKind::Selector}, {"nd_mode", ec::ndMode, FieldKind::Selector},
    {"option", ec::option, FieldKind::Selector},
};

constexpr FrameField efisOutputFields[] = {
    {"baro", ed::baro, FieldKind::Selector},           {"option", ed::option, FieldKind::Selector},
    {"fd", ed::flightDirector, FieldKind::Selector},   {"ls", ed::ls, FieldKind::Selector},
    {"baro_mode", ed::baroMode, FieldKind::Selector},
};

constexpr FrameField fcuInputFields[] = {
    {"spd", fc::speedKnob, FieldKind::Knob},
    {"hdg", fc::headingKnob, FieldKind::Knob},
    {"alt", fc::altitudeKnob, FieldKind::Knob},
    {"vs", fc::vsKnob, FieldKind::Knob},
    {"spd_on", fc::speedOn, FieldKind::Switch},
    {"hdg_on", fc::headingOn, FieldKind::Switch},
    {"alt_hold_on", fc::altHoldOn, FieldKind::Switch},
    {"vs_hold", fc::vsHold, FieldKind::Switch},
    {"loc", fc::loc, FieldKind::Switch},
    {"ap1", fc::ap1, FieldKind::Switch},
    {"athr", fc::athr, FieldKind::Switch},
    {"appr", fc::appr, FieldKind::Switch},
    {"exped", fc::exped, FieldKind::Switch},
    {"alt_inc_100", fc::altIncrement100, FieldKind::Switch},
    {"alt_inc_1000", fc::altIncrement1000, FieldKind::Switch},
    {"vs_push", fc::vsPush, FieldKind::Switch},
    {"spd_off", fc::speedOff, FieldKind::Switch},
    {"hdg_off", fc::headingOff, FieldKind::Switch},
    {"alt_hold_off", fc::altHoldOff, FieldKind::Switch},
    {"vs_pull", fc::vsPull, FieldKind::Switch},
};

constexpr FrameField fcuOutputFields[] = {
    {"trk_fpa", fd::trackFpaMode, FieldKind::Selector},
    {"spd", fd::speed, FieldKind::Selector},
    {"spd_dot", fd::speedManagedDot, FieldKind::Selector},
    {"hdg", fd::heading, FieldKind::Selector},
    {"hdg_dot", fd::headingManagedDot, FieldKind::Selector},
    {"alt", fd::altitude, FieldKind::Selector},
    {"alt_managed", fd::altitudeManaged, FieldKind::Selector},
    {"vs", fd::verticalSpeed, FieldKind::Selector},
    {"fpa", fd::flightPathAngle, FieldKind::Selector},
    {"vs_managed", fd::vsManaged, FieldKind::Selector},
    {"lights", fd::modeLights, FieldKind::Selector},
    {"show_hdg", fd::showHeading, FieldKind::Selector},
};

const FrameLayout efisInput{ec::length, efisInputFields};
const FrameLayout efisOutput{ed::length, efisOutputFields};
const FrameLayout fcuInput{fc::length, fcuInputFields};
const FrameLayout fcuOutput{fd::length, fcuOutputFields};

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
