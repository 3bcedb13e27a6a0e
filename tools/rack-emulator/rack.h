// One emulated rack: its controls, its steady sending, and what it makes of the frames the
// service writes back.
#pragma once

#include <deque>
#include <optional>
#include <ostream>

#include "rack-emulator/event_log.h"
#include "rack-emulator/frame_cutter.h"
#include "rack-emulator/panel_input.h"
#include "rack-emulator/rack_player.h"
#include "rack-emulator/rack_line.h"
#include "rack-emulator/text_message.h"

namespace rackemu {

// Sending stops while this many bytes wait unread on the line: no one is reading (the
// service purges the line when it opens it) or the reader is slower than the rack. It is
// half of the Linux terminal's 4 KiB input buffer, so a message is never cut short there.
inline constexpr std::size_t backlogLimit = 2048;

class Rack final : public RackPlayer {
public:
    Rack(RackKind kind, RackLine& line, std::chrono::milliseconds period, EventLog& log,
         std::ostream& console);

    RackKind kind() const { return kind_; }
    void apply(const Action& action, Clock::time_point now) override;

    // The next send, or Clock::time_point::max() while paused.
    Clock::time_point nextSend() const override;
    void sendIfDue(Clock::time_point now) override;
    void received(std::span<const std::uint8_t> bytes, Clock::time_point now) override;

private:
    void set(const Action& action);
    void press(const Action& action);
    void release(const Action& action);
    bool lineHasRoom(std::size_t length, Clock::time_point now);
    Bytes regularMessage() const;
    void regularMessageSent();
    Json describeSent(const Bytes& bytes, bool raw) const;
    void logFrameReceived(const Bytes& frame, Clock::time_point now);

    RackKind kind_;
    RackLine& line_;
    std::chrono::milliseconds period_;
    EventLog& log_;
    std::ostream& console_;
    std::optional<PanelInput> panel_;
    std::optional<TextMessage> text_;
    std::optional<FrameCutter> cutter_;
    std::deque<Bytes> raw_;  // one-shot messages, each sent in place of a regular one
    Clock::time_point nextSend_{};
    bool paused_ = false;
    bool backlogged_ = false;
    std::string display_;
};

}  // namespace rackemu
