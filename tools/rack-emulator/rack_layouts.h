// What each of the four racks looks like on its line: the text racks' message members and
// the panels' frame layouts in both directions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string_view>

#include "rack-emulator/frame_fields.h"

namespace rackemu {

using Json = nlohmann::ordered_json;

enum class RackKind { Joystick, Pedals, Efis, Fcu };
inline constexpr RackKind allRacks[] = {RackKind::Joystick, RackKind::Pedals, RackKind::Efis,
                                        RackKind::Fcu};

// Knobs carry a detent count for one frame; switches are pressed and released; selectors
// hold a value until it is changed.
enum class FieldKind { Knob, Switch, Selector };

struct FrameField {
    std::string_view name;
    std::size_t offset;
    FieldKind kind;
};

// A panel frame: '{', int32 little-endian fields, '}'.
struct FrameLayout {
    std::size_t length;
    std::span<const FrameField> fields;
};

std::string_view rackName(RackKind kind);
std::optional<RackKind> rackFromName(std::string_view name);
bool isPanel(RackKind kind);

// Layouts of the frames a panel sends (input) and the service writes (output).
const FrameLayout& panelInputLayout(RackKind kind);
const FrameLayout& panelOutputLayout(RackKind kind);

// Finds a field by its name or by its byte offset written in decimal.
const FrameField* findField(const FrameLayout& layout, std::string_view nameOrOffset);

// An all-zero frame with its framing bytes in place.
Bytes emptyFrame(const FrameLayout& layout);
bool isFramed(const FrameLayout& layout, std::span<const std::uint8_t> frame);
// Every field of a frame by name, in offset order.
Json decodeFields(const FrameLayout& layout, std::span<const std::uint8_t> frame);

// The members a text rack sends from the start, in the order it sends them.
Json defaultMembers(RackKind kind);

}  // namespace rackemu
