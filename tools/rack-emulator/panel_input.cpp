#include "rack-emulator/panel_input.h"

#include <algorithm>
#include <limits>

namespace rackemu {

PanelInput::PanelInput(const FrameLayout& layout) : layout_(layout), held_(emptyFrame(layout)) {}

void PanelInput::set(const FrameField& field, std::int32_t value) {
    latch_.cancel(std::string(field.name));
    putInt32(held_, field.offset, value);
}

void PanelInput::press(const FrameField& field) {
    latch_.pressed(std::string(field.name));
    putInt32(held_, field.offset, 1);
}

void PanelInput::release(const FrameField& field) {
    if (latch_.releaseNow(std::string(field.name))) putInt32(held_, field.offset, 0);
}

void PanelInput::turn(const FrameField& field, std::int32_t detents) {
    detents_[field.offset] += detents;
}

Bytes PanelInput::frame() const {
    Bytes frame = held_;
    for (const auto& [offset, detents] : detents_) {
        // Saturate rather than wrap, so that many turns never reverse direction.
        const std::int64_t sum = std::clamp<std::int64_t>(getInt32(frame, offset) + detents,
                                                          std::numeric_limits<std::int32_t>::min(),
                                                          std::numeric_limits<std::int32_t>::max());
        putInt32(frame, offset, static_cast<std::int32_t>(sum));
    }
    return frame;
}

void PanelInput::sent() {
    detents_.clear();
    for (const std::string& name : latch_.sent()) {
        putInt32(held_, findField(layout_, name)->offset, 0);
    }
}

}  // namespace rackemu
