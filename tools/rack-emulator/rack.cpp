#include "rack-emulator/rack.h"

#include "rack-emulator/panel_display.h"

namespace rackemu {

Rack::Rack(RackKind kind, RackLine& line, std::chrono::milliseconds period, EventLog& log,
           std::ostream& console)
    : kind_(kind), line_(line), period_(period), log_(log), console_(console) {
    if (isPanel(kind)) {
        panel_.emplace(panelInputLayout(kind));
        cutter_.emplace(panelOutputLayout(kind).length);
    } else {
        text_.emplace(kind);
    }
}

void Rack::apply(const Action& action, Clock::time_point now) {
    switch (action.verb) {
        case Verb::Set:
            set(action);
            break;
        case Verb::Unset:
            text_->unset(action.target);
            break;
        case Verb::Press:
            press(action);
            break;
        case Verb::Release:
            release(action);
            break;
        case Verb::Turn:
            panel_->turn(*action.field, action.number);
            break;
        case Verb::Raw:
            raw_.push_back(action.payload);
            break;
        case Verb::Period:
            nextSend_ += std::chrono::milliseconds(action.number) - period_;
            period_ = std::chrono::milliseconds(action.number);
            break;
        case Verb::Pause:
            paused_ = true;
            break;
        case Verb::Resume:
            if (paused_) nextSend_ = now;
            paused_ = false;
            break;
        default:
            break;
    }
}

void Rack::set(const Action& action) {
    if (panel_)
        panel_->set(*action.field, action.number);
    else
        text_->set(action.target, action.value);
}

void Rack::press(const Action& action) {
    if (panel_)
        panel_->press(*action.field);
    else
        text_->press(action.target);
}

void Rack::release(const Action& action) {
    if (panel_)
        panel_->release(*action.field);
    else
        text_->release(action.target);
}

Clock::time_point Rack::nextSend() const {
    return paused_ ? Clock::time_point::max() : nextSend_;
}

void Rack::sendIfDue(Clock::time_point now) {
    if (paused_ || now < nextSend_) return;
    // Keep a steady cadence; after a stall, start again from now instead of catching up.
    nextSend_ += period_;
    if (nextSend_ <= now) nextSend_ = now + period_;

    const bool raw = !raw_.empty();
    const Bytes bytes = raw ? raw_.front() : regularMessage();
    if (!lineHasRoom(bytes.size(), now)) return;
    if (!line_.writeAll(bytes)) {
        log_.event("write_failed", {{"rack", rackName(kind_)}}, now);
        return;
    }
    const Clock::time_point written = Clock::now();
    if (raw)
        raw_.pop_front();
    else
        regularMessageSent();
    log_.write(describeSent(bytes, raw), written);
}

// Holds the message back, keeping its content (detents, presses) for a later send, while
// the reader is not taking what was sent before.
bool Rack::lineHasRoom(std::size_t length, Clock::time_point now) {
    const std::size_t unread = line_.unreadBytes();
    const bool full = unread + length > backlogLimit;
    if (full != backlogged_) {
        backlogged_ = full;
        Json details = {{"rack", rackName(kind_)}, {"unread", unread}};
        log_.event(full ? "backlog" : "drained", details, now);
    }
    return !full;
}

Bytes Rack::regularMessage() const {
    return panel_ ? panel_->frame() : bytesOf(text_->text());
}

void Rack::regularMessageSent() {
    if (panel_)
        panel_->sent();
    else
        text_->sent();
}

Json Rack::describeSent(const Bytes& bytes, bool raw) const {
    Json entry = {{"rack", rackName(kind_)}, {"dir", "out"}, {"hex", toHex(bytes)}};
    if (raw) entry["raw"] = true;
    if (panel_) {
        const FrameLayout& layout = panelInputLayout(kind_);
        if (isFramed(layout, bytes)) entry["fields"] = decodeFields(layout, bytes);
        return entry;
    }
    const std::string text(bytes.begin(), bytes.end());
    entry["text"] = text;
    Json fields = Json::parse(text, nullptr, false);
    if (fields.is_object()) entry["fields"] = std::move(fields);
    return entry;
}

void Rack::received(std::span<const std::uint8_t> bytes, Clock::time_point now) {
    if (!cutter_) {
        // The text racks expect nothing back; whatever comes is logged as it is.
        log_.write({{"rack", rackName(kind_)}, {"dir", "in"}, {"hex", toHex(bytes)}}, now);
        return;
    }
    for (const StreamPiece& piece : cutter_->feed(bytes)) {
        if (piece.isFrame) {
            logFrameReceived(piece.bytes, now);
        } else {
            Json entry = {{"rack", rackName(kind_)}, {"dir", "in"}, {"hex", toHex(piece.bytes)}};
            entry["garbage"] = true;
            log_.write(entry, now);
        }
    }
}

void Rack::logFrameReceived(const Bytes& frame, Clock::time_point now) {
    Json fields = decodePanelOutput(kind_, frame);
    std::string display = panelDisplay(kind_, fields);
    log_.write({{"rack", rackName(kind_)},
                {"dir", "in"},
                {"hex", toHex(frame)},
                {"fields", std::move(fields)},
                {"display", display}},
               now);
    if (display == display_) return;
    display_ = std::move(display);
    console_ << rackName(kind_) << ": " << display_ << std::endl;
}

}  // namespace rackemu
