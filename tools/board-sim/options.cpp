#include "board-sim/options.h"

#include <CLI/CLI.hpp>

#include "board-sim/board_layouts.h"

namespace boardsim {

namespace {

constexpr const char* kDescription =
    "board-sim: the racks' firmware on emulated boards. Each rack's board runs its firmware\n"
    "image on an emulated ATmega328P (joystick and EFIS on an Uno, pedals on a Nano clone) or\n"
    "ATmega2560 (FCU on a Mega) at 16 MHz, kept in step with the wall clock, its UART0 on a\n"
    "pseudo-terminal that the service opens as the rack's port, through a model of the\n"
    "board's USB-serial bridge.";

constexpr const char* kFooter = R"(
Once every board runs, one line is printed and flushed:
  board-sim: ready joystick=/dev/pts/3 efis=/dev/pts/4 ...
The run ends at a quit action, at --duration, or on SIGINT/SIGTERM, with exit code 0; links
and the control pipe are removed. Exit code 2: bad command line or script; 1: a firmware
image, device, link, pipe or log file could not be made.

The real line: the bridges (--RACK-bridge) hand the board's bytes on in USB packets:
  direct   at once, as the pseudo-terminal alone would
  16u2     an Uno's or Mega's ATmega16U2: what came, about every 4 ms
  ftdi     an FTDI FT232R: 62-byte packets, a short one when its 16 ms latency timer
           runs out
  ch340    a Nano clone's CH340: 32-byte packets, a short one when the line goes quiet
When the service opens a board's device the board resets, and its firmware starts again
after its bootloader's wait (1 s; 1.5 s on the Nano clone); its EEPROM keeps what it
held. Contacts bounce for 1 to 5 ms, knob edges come 1 to 3 ms apart, and every ADC
conversion sees up to 3 counts of noise; all of it the same on every run.

Actions: the script and control lines of rack-emulator ("[TIME] VERB RACK NAME [VALUE]"),
worked on the boards' controls, with rack-emulator's names:
  press / release / hold RACK NAME [SECONDS]   a switch or button; "pedals calibration"
                        is the pedals board's calibration button
  turn RACK KNOB N      N detents as quadrature edges (negative: the other way)
  set / move RACK NAME VALUE   an axis in its member's unit (the potentiometer's voltage),
                        a selector's position on its resistor ladder, a switch (0 or not),
                        efis baro_mode (0 QFE, 1 QNH on the toggle; 2 STD: a push of the STD
                        button when the panel is not in STD, and the other way round),
                        efis option N (a tap on option button N, 1 to 5)
  mark TEXT, quit
The pins behind each name are the sketches' pin maps (firmware/*/*_pins.h).

Displays: the boards' MAX7219 drivers and lamp pins are read as the panels show them, one
line whenever a panel's display changes and has settled:
  efis: BARO 1013  QNH  FD [ON]  LS [OFF]  OPT 0
  fcu: SPD 250*  HDG 180  ALT 5000  V/S 700  [AP1] [A/THR]
A '*' is a lit managed dot; dashes are what the windows show.

Log (--log): rack-emulator's lines ("t", "mono_ns", then):
  Sent:     {"rack":"fcu","dir":"out","hex":..,"fields":{..}} a frame or message the board
            sent, when its last byte left; bytes outside any frame: "garbage":true
  Received: {"rack":"fcu","dir":"in","hex":..,"fields":{..}} what the service wrote
  Display:  {"rack":"fcu","event":"display","windows":{"spd":"250."..},"lamps":{..},
            "display":"SPD 250*  ..."}
  Debug:    {"rack":"fcu","event":"debug","text":".."} a line the FCU printed on UART1, or a
            line of text a text rack sent between its messages (its calibration)
  Events:   "ready", "opened", "closed", "action", "mark", "error" as rack-emulator's;
            {"event":"reset","rack":..} the board reset as the service opened it;
            {"event":"line_full","rack":..} and {"event":"line_drained","rack":..,
            "dropped":N}: bytes the board sent while nobody read the line were lost;
            {"event":"behind","ms":N} the boards' clocks, held up by a busy machine, have
            slipped N ms in all behind the wall clock (said on standard error too; a board
            does not race to catch up); {"event":"crashed","rack":..};
            {"event":"exit","reason":..,"cpu_s":..,"wall_s":..,"boards":N}
)";

}  // namespace

Parsed parseOptions(int argc, char** argv) {
    CLI::App app(kDescription, "board-sim");
    app.footer(kFooter);
    Options options;
    // The build's own images, unless told otherwise.
    options.firmwareDir = ORVENDALE_FIRMWARE_DIR;
    std::map<rackemu::RackKind, std::pair<CLI::Option*, CLI::Option*>> given;
    for (rackemu::RackKind kind : rackemu::allRacks) {
        const std::string name(rackemu::rackName(kind));
        BoardRequest& request = options.boards[kind];
        CLI::Option* board = app.add_option("--" + name, request.linkPath,
                                            "play the " + name + " rack; with PATH, a link to its device there")
                                 ->expected(0, 1);
        CLI::Option* image = app.add_option("--" + name + "-firmware", request.firmware,
                                            "the " + name + " board's image instead of FOLDER/" + name + ".elf")
                                 ->check(CLI::ExistingFile);
        const BoardKind& kit = boardLayout(kind).board;
        app.add_option("--" + name + "-bridge", request.bridge,
                       "the USB bridge between the " + name + " board and its device (default " +
                           std::string(bridgeName(kit.bridge)) + ", the " + std::string(kit.name) + "'s)")
            ->check(CLI::IsMember({"direct", "16u2", "ftdi", "ch340"}));
        given[kind] = {board, image};
    }
    app.add_option("--firmware", options.firmwareDir, "the folder of the four images")
        ->capture_default_str()
        ->check(CLI::ExistingDirectory);
    rackemu::addRunOptions(app, options);
    if (const auto exitCode = rackemu::parseCommandLine(app, argc, argv)) return {std::nullopt, *exitCode};
    for (const auto& [kind, flags] : given)
        if (flags.first->count() == 0 && flags.second->count() == 0) options.boards.erase(kind);
    if (options.boards.empty()) {
        std::cerr << "board-sim: no board asked for\nRun with --help for more information.\n";
        return {std::nullopt, 2};
    }
    return {std::move(options), 0};
}

}  // namespace boardsim
