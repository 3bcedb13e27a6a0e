// What the emulator's actions and the service's bytes drive: one rack, played by
// rack-emulator itself or by a board's firmware on an emulated chip (board-sim).
#pragma once

#include <cstdint>
#include <span>

#include "rack-emulator/action.h"

namespace rackemu {

class RackPlayer {
public:
    virtual ~RackPlayer() = default;
    // Every verb but hold (a press and a later release), mark and quit; throws ActionError
    // for one the rack cannot do.
    virtual void apply(const Action& action, Clock::time_point now) = 0;
    virtual void received(std::span<const std::uint8_t> bytes, Clock::time_point now) = 0;
    // A rack that sends on its own schedule says when; one whose sending is its own
    // business (a board's firmware) never asks to be woken.
    virtual Clock::time_point nextSend() const { return Clock::time_point::max(); }
    virtual void sendIfDue(Clock::time_point) {}
};

}  // namespace rackemu
