#include "rack-emulator/panel_display.h"

#include <cstdlib>

namespace rackemu {

namespace {

struct Light {
    const char* field;
    const char* label;
};

// In the order of their bits in the lights field.
constexpr Light fcuLights[] = {
    {"loc", "LOC"}, {"ap1", "AP1"}, {"athr", "A/THR"}, {"exped", "EXPED"}, {"appr", "APPR"}};

// Wide enough that the magnitude of any 32-bit field can be taken.
long long field(const Json& fields, const char* name) {
    return fields.value(name, 0LL);
}

// A lit managed-mode dot is shown as a '*' right after the window's value.
std::string dot(const Json& fields, const char* name) {
    return field(fields, name) != 0 ? "*" : "";
}

std::string signedValue(long long value) {
    std::string text(1, value < 0 ? '-' : '+');
    return text.append(std::to_string(std::llabs(value)));
}

std::string tenths(long long value) {
    const long long magnitude = std::llabs(value);
    std::string text(1, value < 0 ? '-' : '+');
    return text.append(std::to_string(magnitude / 10))
        .append(".")
        .append(std::to_string(magnitude % 10));
}

std::string baroModeLabel(long long mode) {
    switch (mode) {
        case 0:
            return "QFE";
        case 1:
            return "QNH";
        case 2:
        case 3:
            return "STD";
        default:
            return "MODE " + std::to_string(mode);
    }
}

std::string onOff(const Json& fields, const char* name) {
    return field(fields, name) != 0 ? "[ON]" : "[OFF]";
}

std::string efisDisplay(const Json& f) {
    return "BARO " + std::to_string(field(f, "baro")) + "  " +
           baroModeLabel(field(f, "baro_mode")) + "  FD " + onOff(f, "fd") + "  LS " +
           onOff(f, "ls") + "  OPT " + std::to_string(field(f, "option"));
}

std::string fcuHeading(const Json& f) {
    const bool trackMode = field(f, "trk_fpa") != 0;
    std::string value = "---";
    if (field(f, "show_hdg") != 0) {
        value = std::to_string(field(f, "hdg"));
        value.insert(0, value.size() < 3 ? 3 - value.size() : 0, '0');
    }
    return (trackMode ? "TRK " : "HDG ") + value + dot(f, "hdg_dot");
}

std::string fcuVertical(const Json& f) {
    const bool trackMode = field(f, "trk_fpa") != 0;
    std::string value = trackMode ? tenths(field(f, "fpa")) : signedValue(field(f, "vs"));
    if (field(f, "vs_managed") != 0) value = "----";
    return (trackMode ? "FPA " : "V/S ") + value;
}

std::string fcuDisplay(const Json& f) {
    std::string text = "SPD " + std::to_string(field(f, "spd")) + dot(f, "spd_dot") + "  " +
                       fcuHeading(f) + "  ALT " + std::to_string(field(f, "alt")) +
                       dot(f, "alt_managed") + "  " + fcuVertical(f);
    std::string lights;
    for (const Light& light : fcuLights) {
        if (f.value(light.field, false))
            lights += std::string(lights.empty() ? "" : " ") + "[" + light.label + "]";
    }
    return lights.empty() ? text : text + "  " + lights;
}

}  // namespace

Json decodePanelOutput(RackKind kind, std::span<const std::uint8_t> frame) {
    Json fields = decodeFields(panelOutputLayout(kind), frame);
    if (kind == RackKind::Fcu) {
        const auto bits = static_cast<std::uint32_t>(fields["lights"].get<std::int32_t>());
        std::uint32_t bit = 1;
        for (const Light& light : fcuLights) {
            fields[light.field] = (bits & bit) != 0;
            bit <<= 1;
        }
    }
    return fields;
}

std::string panelDisplay(RackKind kind, const Json& fields) {
    return kind == RackKind::Fcu ? fcuDisplay(fields) : efisDisplay(fields);
}

}  // namespace rackemu
