#include "board-sim/emulated_rack.h"

#include <algorithm>
#include <cmath>

#include "rack-emulator/panel_display.h"

namespace boardsim {

namespace {

using rackemu::ActionError;
using rackemu::Json;
using rackemu::Verb;

constexpr std::uint64_t cyclesPerMs = AvrBoard::frequency / 1000;
// A contact bounces for 1 to 5 ms when it closes or opens, changing every 0.05 to 0.5 ms.
constexpr std::uint64_t bounceMinCycles = 1 * cyclesPerMs;
constexpr std::uint64_t bounceMaxCycles = 5 * cyclesPerMs;
constexpr std::uint64_t bounceStepMinCycles = cyclesPerMs / 20;
constexpr std::uint64_t bounceStepMaxCycles = cyclesPerMs / 2;
// A brisk turn of a knob: a quadrature edge every 1 to 3 ms, 2 ms on average.
constexpr std::uint64_t edgeMinCycles = 1 * cyclesPerMs;
constexpr std::uint64_t edgeMaxCycles = 3 * cyclesPerMs;
// A tap on one of the EFIS's option buttons or its STD button.
constexpr std::uint64_t tapCycles = 120 * cyclesPerMs;
// A potentiometer's wiper and the supply give each conversion up to 3 counts of noise.
constexpr std::uint32_t adcNoiseMillivolts = 15;
// The display is reported once its drivers and lamps have kept still this long.
constexpr std::uint64_t settleCycles = AvrBoard::frequency * 5 / 1000;

PortPin pinOf(const BoardLayout& layout, std::uint8_t arduinoPin) {
    const auto pin = portPin(layout.board.model, arduinoPin);
    if (!pin) throw std::logic_error("a pin map names a pin the board does not have");
    return *pin;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \r") - first + 1);
}

}  // namespace

EmulatedRack::EmulatedRack(RackKind rack, const std::string& elfPath, rackemu::EventLog& log,
                           std::ostream& console)
    : layout_(boardLayout(rack)),
      board_(layout_.board.model, elfPath),
      log_(log),
      console_(console),
      random_(0x5EED0000u + static_cast<unsigned>(rack)) {
    board_.setAnalogNoise(adcNoiseMillivolts, static_cast<std::uint32_t>(random_()));
    if (rackemu::isPanel(rack)) {
        sentFrames_.emplace(rackemu::panelInputLayout(rack).length);
        receivedFrames_.emplace(rackemu::panelOutputLayout(rack).length);
    }
    for (const Control& control : layout_.controls) {
        if (control.kind == ControlKind::Contact || control.kind == ControlKind::Knob ||
            control.kind == ControlKind::BaroMode) {
            board_.drivePin(pinOf(layout_, control.pins[0]), true);
            if (control.kind != ControlKind::Contact) board_.drivePin(pinOf(layout_, control.pins[1]), true);
        }
        if (control.kind == ControlKind::Axis) set(control, control.rest);
        if (control.kind == ControlKind::Ladder) setAnalog(control, 0);
        if (control.kind == ControlKind::OptionButtons) setAnalog(control, 1);
    }
    watchOutputs();
}

void EmulatedRack::watchOutputs() {
    if (layout_.display) {
        const rackkit::DisplayChain& chain = *layout_.display;
        display_.emplace(chain.chips);
        board_.watchPin(pinOf(layout_, chain.din), [this](bool level) { display_->din(level); });
        board_.watchPin(pinOf(layout_, chain.clk), [this](bool level) { display_->clk(level); });
        board_.watchPin(pinOf(layout_, chain.load), [this](bool level) {
            display_->load(level);
            if (level) ++outputChanges_;
        });
    }
    for (const NamedPin& lamp : layout_.lamps)
        board_.watchPin(pinOf(layout_, lamp.pin), [this](bool) { ++outputChanges_; });
}

void EmulatedRack::apply(const rackemu::Action& action, Clock::time_point) {
    const Control* control = findControl(layout_, action.target);
    if (control == nullptr) throw ActionError("the " + name() + " board has no control " + action.target);
    if (action.verb == Verb::Turn) {
        turn(*control, action.number);
    } else if (action.verb == Verb::Press || action.verb == Verb::Release) {
        if (control->kind != ControlKind::Contact) throw ActionError("not a switch: " + action.target);
        press(*control, action.verb == Verb::Press);
    } else if (action.verb == Verb::Set && rackemu::isPanel(layout_.rack)) {
        set(*control, action.number);
    } else if (action.verb == Verb::Set && (action.value.is_number() || action.value.is_boolean())) {
        set(*control, action.value.is_boolean() ? action.value.get<bool>() : action.value.get<double>());
    } else {
        throw ActionError("a board cannot do: " + action.text);
    }
}

std::uint64_t EmulatedRack::randomCycles(std::uint64_t low, std::uint64_t high) {
    return std::uniform_int_distribution<std::uint64_t>(low, high)(random_);
}

void EmulatedRack::reset() {
    board_.reset(layout_.board.bootMs * cyclesPerMs);
}

void EmulatedRack::press(const Control& control, bool closed) {
    drive(pinOf(layout_, control.pins[0]), closed, board_.cycle());
}

// The contact changes to `closed` at `at` and bounces about it for a while.
void EmulatedRack::drive(PortPin pin, bool closed, std::uint64_t at) {
    const std::uint64_t settled = at + randomCycles(bounceMinCycles, bounceMaxCycles);
    bool level = closed;
    for (; at < settled; at += randomCycles(bounceStepMinCycles, bounceStepMaxCycles)) {
        board_.at(at, [this, pin, level] { board_.drivePin(pin, !level); });
        level = !level;
    }
    board_.at(settled, [this, pin, closed] { board_.drivePin(pin, !closed); });
}

void EmulatedRack::tap(PortPin pin) {
    const std::uint64_t now = board_.cycle();
    drive(pin, true, now);
    drive(pin, false, now + tapCycles);
}

void EmulatedRack::turn(const Control& control, std::int32_t detents) {
    if (control.kind != ControlKind::Knob) throw ActionError("not a knob: " + std::string(control.name));
    // Clockwise, contact A leads: A closes, B closes, A opens, B opens.
    static constexpr bool clockwise[4][2] = {{false, true}, {false, false}, {true, false}, {true, true}};
    static constexpr bool anticlockwise[4][2] = {{true, false}, {false, false}, {false, true}, {true, true}};
    const auto& steps = detents > 0 ? clockwise : anticlockwise;
    const PortPin a = pinOf(layout_, control.pins[0]);
    const PortPin b = pinOf(layout_, control.pins[1]);
    std::uint64_t& busyUntil = knobBusyUntil_[control.name];
    std::uint64_t at = std::max(board_.cycle(), busyUntil);
    // A knob with two detents a cycle rests half way round too.
    const std::size_t edges = std::abs(static_cast<std::int64_t>(detents)) * 4 / control.detentsPerCycle;
    std::size_t step = knobPhase_[control.name];
    for (std::size_t edge = 0; edge < edges; ++edge, step = (step + 1) % 4) {
        at += randomCycles(edgeMinCycles, edgeMaxCycles);
        // Either way round, a knob at rest half way has both contacts closed.
        const auto& levels = steps[step];
        board_.at(at, [this, a, b, levels] {
            board_.drivePin(a, levels[0]);
            board_.drivePin(b, levels[1]);
        });
    }
    knobPhase_[control.name] = step;
    busyUntil = at;
}

void EmulatedRack::setAnalog(const Control& control, double fraction) {
    const auto millivolts = static_cast<std::uint32_t>(
        std::lround(std::clamp(fraction, 0.0, 1.0) * AvrBoard::supplyMillivolts));
    for (std::uint8_t channel : control.channels)
        if (channel != noChannel) board_.setAnalog(channel, millivolts);
}

void EmulatedRack::set(const Control& control, double value) {
    const auto position = static_cast<long>(value);
    switch (control.kind) {
        case ControlKind::Contact:
            press(control, value != 0);
            return;
        case ControlKind::Axis:
            setAnalog(control, (value / control.fullScale + 1) / 2);
            return;
        case ControlKind::Ladder:
            if (position < 0 || position >= control.positions)
                throw ActionError(std::string(control.name) + " has positions 0 to " +
                                  std::to_string(control.positions - 1));
            setAnalog(control, static_cast<double>(position) / (control.positions - 1));
            return;
        case ControlKind::BaroMode: {
            // QFE or QNH on the toggle; STD, which a push of its button goes into or out
            // of, from the panel's lamps: neither the QFE nor the QNH lamp lit.
            if (position < 2) drive(pinOf(layout_, control.pins[0]), position == 1, board_.cycle());
            const bool inStd = !lampLit("qfe") && !lampLit("qnh");
            if ((position >= 2) != inStd) tap(pinOf(layout_, control.pins[1]));
            return;
        }
        case ControlKind::OptionButtons: {
            if (position < 1 || position >= control.positions)
                throw ActionError("option takes a button, 1 to " + std::to_string(control.positions - 1));
            // Button k pulls the ladder to position k - 1 for the length of a tap.
            setAnalog(control, static_cast<double>(position - 1) / (control.positions - 1));
            board_.at(board_.cycle() + tapCycles, [this, &control] { setAnalog(control, 1); });
            return;
        }
        case ControlKind::Knob:
            break;
    }
    throw ActionError("turn a knob, do not set it: " + std::string(control.name));
}

Bytes EmulatedRack::takeSent(Clock::time_point now) {
    Bytes bytes = board_.takeSent(0);
    if (!bytes.empty()) logSent(bytes, now);
    return bytes;
}

void EmulatedRack::received(std::span<const std::uint8_t> bytes, Clock::time_point now) {
    board_.receive(0, bytes);
    logReceived(Bytes(bytes.begin(), bytes.end()), now);
}

void EmulatedRack::logSent(const Bytes& bytes, Clock::time_point now) {
    if (sentFrames_) {
        const rackemu::FrameLayout& layout = rackemu::panelInputLayout(layout_.rack);
        for (const rackemu::StreamPiece& piece : sentFrames_->feed(bytes)) {
            Json entry = {{"rack", name()}, {"dir", "out"}, {"hex", rackemu::toHex(piece.bytes)}};
            if (piece.isFrame)
                entry["fields"] = rackemu::decodeFields(layout, piece.bytes);
            else
                entry["garbage"] = true;
            log_.write(entry, now);
        }
        return;
    }
    // A text rack's messages, cut at their braces; what it writes between them is lines of
    // text (its calibration), logged as debug lines.
    sentText_.append(bytes.begin(), bytes.end());
    for (;;) {
        const std::size_t start = sentText_.find('{');
        const std::size_t lineEnd = sentText_.find('\n');
        if (lineEnd != std::string::npos && lineEnd < start) {
            const std::string text = trimmed(sentText_.substr(0, lineEnd));
            if (!text.empty()) log_.write({{"rack", name()}, {"event", "debug"}, {"text", text}}, now);
            sentText_.erase(0, lineEnd + 1);
            continue;
        }
        const std::size_t end = start == std::string::npos ? start : sentText_.find('}', start);
        if (end == std::string::npos) return;
        const std::string text = sentText_.substr(start, end - start + 1);
        Json entry = {{"rack", name()}, {"dir", "out"}, {"hex", rackemu::toHex(rackemu::bytesOf(text))},
                      {"text", text}};
        Json fields = Json::parse(text, nullptr, false);
        if (fields.is_object()) entry["fields"] = std::move(fields);
        log_.write(entry, now);
        sentText_.erase(0, end + 1);
    }
}

void EmulatedRack::logReceived(const Bytes& bytes, Clock::time_point now) {
    if (!receivedFrames_) {
        log_.write({{"rack", name()}, {"dir", "in"}, {"hex", rackemu::toHex(bytes)}}, now);
        return;
    }
    for (const rackemu::StreamPiece& piece : receivedFrames_->feed(bytes)) {
        Json entry = {{"rack", name()}, {"dir", "in"}, {"hex", rackemu::toHex(piece.bytes)}};
        if (piece.isFrame)
            entry["fields"] = rackemu::decodePanelOutput(layout_.rack, piece.bytes);
        else
            entry["garbage"] = true;
        log_.write(entry, now);
    }
}

bool EmulatedRack::lampLit(std::string_view name) const {
    for (const NamedPin& lamp : layout_.lamps)
        if (lamp.name == name) return board_.pinLevel(pinOf(layout_, lamp.pin));
    return false;
}

PanelView EmulatedRack::view() const {
    PanelView view;
    for (const NamedWindow& named : layout_.windows) {
        std::string text;
        for (std::uint8_t i = 0; i < named.window.width; ++i)
            text += segmentText(display_->shown(named.window.chip, named.window.firstDigit + i));
        view.windows[std::string(named.name)] = trimmed(text);
    }
    for (const NamedPin& lamp : layout_.lamps)
        view.lamps[std::string(lamp.name)] = board_.pinLevel(pinOf(layout_, lamp.pin));
    for (const NamedSegmentLamp& lamp : layout_.segmentLamps)
        view.lamps[std::string(lamp.name)] =
            (display_->shown(lamp.lamp.chip, lamp.lamp.digit) & (1u << lamp.lamp.segmentBit)) != 0;
    return view;
}

void EmulatedRack::report(Clock::time_point now) {
    reportDebugLines(now);
    if (!display_) return;
    if (outputChanges_ != seenChanges_) {
        seenChanges_ = outputChanges_;
        changedAtCycle_ = board_.cycle();
        return;
    }
    if (changedAtCycle_ == 0 || board_.cycle() < changedAtCycle_ + settleCycles) return;
    changedAtCycle_ = 0;
    const PanelView shown = view();
    std::string line = displayLine(layout_.rack, shown);
    if (line == shownLine_) return;
    shownLine_ = line;
    log_.write({{"rack", name()},
                {"event", "display"},
                {"windows", shown.windows},
                {"lamps", shown.lamps},
                {"display", line}},
               now);
    console_ << name() << ": " << line << std::endl;
}

void EmulatedRack::reportDebugLines(Clock::time_point now) {
    if (layout_.board.model != BoardModel::Mega) return;
    const Bytes bytes = board_.takeSent(1);
    debugLine_.append(bytes.begin(), bytes.end());
    for (std::size_t end = debugLine_.find('\n'); end != std::string::npos; end = debugLine_.find('\n')) {
        log_.write({{"rack", name()}, {"event", "debug"}, {"text", trimmed(debugLine_.substr(0, end))}}, now);
        debugLine_.erase(0, end + 1);
    }
}

}  // namespace boardsim
