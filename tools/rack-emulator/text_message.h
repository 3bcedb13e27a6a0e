// The state of a text rack (joystick, pedals) and the JSON message that carries it.
#pragma once

#include <string>

#include "rack-emulator/rack_layouts.h"
#include "rack-emulator/switch_latch.h"

namespace rackemu {

class TextMessage {
public:
    explicit TextMessage(RackKind kind);

    // Any JSON value, so that a message can carry a float, a bool or a text where the
    // service expects a number. A new member is sent after the existing ones.
    void set(const std::string& member, Json value);
    // Leaves the member out of the following messages.
    void unset(const std::string& member);
    void press(const std::string& member);
    void release(const std::string& member);

    const Json& members() const { return members_; }
    // The compact JSON object, members in order.
    std::string text() const;
    void sent();

private:
    Json members_;
    SwitchLatch latch_;
};

}  // namespace rackemu
