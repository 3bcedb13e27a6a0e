#include "rack-emulator/text_message.h"

namespace rackemu {

TextMessage::TextMessage(RackKind kind) : members_(defaultMembers(kind)) {}

void TextMessage::set(const std::string& member, Json value) {
    latch_.cancel(member);
    members_[member] = std::move(value);
}

void TextMessage::unset(const std::string& member) {
    latch_.cancel(member);
    members_.erase(member);
}

void TextMessage::press(const std::string& member) {
    latch_.pressed(member);
    members_[member] = 1;
}

void TextMessage::release(const std::string& member) {
    if (latch_.releaseNow(member)) members_[member] = 0;
}

std::string TextMessage::text() const {
    return members_.dump();
}

void TextMessage::sent() {
    for (const std::string& member : latch_.sent()) members_[member] = 0;
}

}  // namespace rackemu
