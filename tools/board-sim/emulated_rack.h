// One rack played by its firmware on an emulated board: the controls a script works are
// turned into what the board's pins and ADC see, and what the board sends, receives and
// shows is logged.
#pragma once

#include <memory>
#include <optional>
#include <random>
#include <ostream>
#include <string>

#include "board-sim/avr_board.h"
#include "board-sim/board_layouts.h"
#include "board-sim/max7219_decoder.h"
#include "rack-emulator/action.h"
#include "rack-emulator/event_log.h"
#include "rack-emulator/frame_cutter.h"
#include "rack-emulator/rack_player.h"

namespace boardsim {

using rackemu::Bytes;
using rackemu::Clock;

class EmulatedRack final : public rackemu::RackPlayer {
public:
    // Throws std::runtime_error when the firmware cannot be loaded.
    EmulatedRack(RackKind rack, const std::string& elfPath, rackemu::EventLog& log, std::ostream& console);

    RackKind kind() const { return layout_.rack; }
    std::string name() const { return std::string(rackemu::rackName(layout_.rack)); }
    // False once the firmware has crashed.
    bool runUntil(std::uint64_t cycle) { return board_.runUntil(cycle); }
    // What the USB bridge does when the host opens the port: resets the board, whose
    // firmware starts anew once the bootloader has waited.
    void reset();

    // A set, press, release or turn of one of the rack's controls. Throws ActionError for
    // a verb or control the board does not have.
    void apply(const rackemu::Action& action, Clock::time_point now) override;
    // Bytes the service wrote to the board's line.
    void received(std::span<const std::uint8_t> bytes, Clock::time_point now) override;

    // What the board sent on its line since the last call, logged as messages or frames.
    Bytes takeSent(Clock::time_point now);
    // Logs and prints the display once it has changed and settled, and the lines the board
    // printed on its second serial port.
    void report(Clock::time_point now);

private:
    void press(const Control& control, bool closed);
    void drive(PortPin pin, bool closed, std::uint64_t at);
    void tap(PortPin pin);
    std::uint64_t randomCycles(std::uint64_t low, std::uint64_t high);
    bool lampLit(std::string_view name) const;
    void turn(const Control& control, std::int32_t detents);
    void setAnalog(const Control& control, double fraction);
    void set(const Control& control, double value);
    void watchOutputs();
    void logSent(const Bytes& bytes, Clock::time_point now);
    void logReceived(const Bytes& bytes, Clock::time_point now);
    PanelView view() const;
    void reportDebugLines(Clock::time_point now);

    const BoardLayout& layout_;
    AvrBoard board_;
    rackemu::EventLog& log_;
    std::ostream& console_;
    std::optional<Max7219Decoder> display_;
    std::optional<rackemu::FrameCutter> sentFrames_;
    std::optional<rackemu::FrameCutter> receivedFrames_;
    std::string sentText_;   // a text rack's message still being sent
    std::string debugLine_;  // the second serial port's line still being printed
    std::uint64_t outputChanges_ = 0;
    std::uint64_t seenChanges_ = 0;
    std::uint64_t changedAtCycle_ = 0;
    std::string shownLine_;
    std::map<std::string_view, std::uint64_t> knobBusyUntil_;
    std::map<std::string_view, std::size_t> knobPhase_;  // edges into its cycle
    std::mt19937 random_;  // the contacts' bounce and the knobs' edges, the same on every run
};

}  // namespace boardsim
