// The state of a panel's controls and the input frame that carries it.
#pragma once

#include <cstdint>
#include <map>

#include "rack-emulator/frame_fields.h"
#include "rack-emulator/rack_layouts.h"
#include "rack-emulator/switch_latch.h"

namespace rackemu {

class PanelInput {
public:
    explicit PanelInput(const FrameLayout& layout);

    // Holds a raw value in every frame until it is changed.
    void set(const FrameField& field, std::int32_t value);
    void press(const FrameField& field);
    void release(const FrameField& field);
    // Detents travel in the next frame only; turns made before it add up.
    void turn(const FrameField& field, std::int32_t detents);

    const FrameLayout& layout() const { return layout_; }
    Bytes frame() const;
    // The frame went out: detents go back to 0 and kept releases take effect.
    void sent();

private:
    const FrameLayout& layout_;
    Bytes held_;
    std::map<std::size_t, std::int64_t> detents_;
    SwitchLatch latch_;
};

}  // namespace rackemu
