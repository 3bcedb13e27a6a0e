#include "rack-emulator/options.h"

#include <CLI/CLI.hpp>

#include "rack-emulator/action.h"
#include "rack-emulator/run_options.h"

namespace rackemu {
namespace {

constexpr const char* kDescription =
    "Virtual cockpit racks for orvendale-fs: each rack gets a pseudo-terminal (or an existing\n"
    "device) and speaks the rack's side of its line. With PATH, a symbolic link to the rack's\n"
    "pseudo-terminal is made at PATH (an old link there is replaced) and removed at exit; the\n"
    "form --efis=PATH is accepted too.\n";

constexpr const char* kFooter = R"(Once every device exists, one line is printed and flushed:
  rack-emulator: ready joystick=/dev/pts/3 efis=/dev/pts/4 ...
listing each rack with the device the service opens (the slave of its pseudo-terminal, or
the attached device). The run ends at a quit action, at --duration, or on SIGINT/SIGTERM,
always with exit code 0; links and the named pipe are removed. A script without quit keeps
the racks sending until then. Exit code 2: bad command line or script; 1: a device, link,
pipe or log file could not be made.

Sending. Every rack sends its whole state once per period, a text rack as one compact JSON
object, a panel as one frame, each in a single write. While more than 2048 bytes wait unread
on the line (no one has the device open, or the reader is slower), sends are held back and
their content kept; the service discards what came before its open anyway.

Actions, one per line ("#" starts a comment line):
  [TIME] VERB RACK ARGUMENTS
  TIME is seconds from the start ("2.5") or after the previous line ("+0.5"; on the control
  channel: after the line is read). A script line without TIME runs with the line before
  it (so that two changes reach the same frame); a control line without TIME runs at once.
  RACK is joystick, pedals, efis or fcu.
  set RACK NAME VALUE    text racks: member NAME becomes VALUE, any JSON value
                         (25.5, 12.7, true, "text", null); a new NAME is added
                         panels: field NAME (or its byte offset, e.g. 53) holds the
                         32-bit integer VALUE in every frame
  move RACK NAME VALUE   the same as set (for axes)
  unset RACK NAME        text racks: leave member NAME out of the messages
  press RACK NAME        switch to 1 (text racks: member to 1)
  release RACK NAME      switch to 0; a release that comes before any send carried the
                         press waits for one, so every press reaches the line
  hold RACK NAME SECONDS press now, release after SECONDS
  turn RACK KNOB N       panels: N detents (negative: the other way) in the next frame
                         only; the frame after it carries 0 again
  raw RACK TEXT          send TEXT (the rest of the line, at most 1024 bytes) once, as it
                         is, in place of the next regular message or frame
  rawhex RACK HEX        the same with bytes given in hexadecimal ("7b 00 ... 7d")
  period RACK MS         change the send period
  pause RACK / resume RACK   stop and restart the rack's sending
  mark TEXT              only logged ({"event":"mark"}), to find a moment in the log
  quit                   end the run

Panel fields (byte offset in the input frame):
  efis: baro 1 (knob), baro_mode 5, fd 9 (switch), ls 13 (switch), nd_range 17,
        nd_mode 21, option 25
  fcu:  spd 1, hdg 5, alt 9, vs 13 (knobs); switches spd_on 17, hdg_on 21, alt_hold_on 25,
        vs_hold 29, loc 33, ap1 37, athr 41, appr 45, exped 49, alt_inc_100 53,
        alt_inc_1000 57, vs_push 61, spd_off 65, hdg_off 69, alt_hold_off 73, vs_pull 77
Text rack members at start (all 0):
  joystick: aileron_position, elevator_position (0.0), camera_point_of_interest,
            rudder_trim_plus_pct, rudder_trim_minus_pct, spoiler_handle_plus_position,
            spoiler_handle_minus_position, autopilot_master
  pedals:   rudder_position (0.0), brake_position

Displays. Frames from the service are cut from the stream by length and framing bytes
(garbage is skipped), decoded and shown, one line whenever a panel's display changes:
  efis: BARO 1013  QNH  FD [ON]  LS [OFF]  OPT 0
  fcu: SPD 250  HDG 180  ALT 5000  V/S +700  [LOC] [AP1] [A/THR]
Baro modes 0 QFE, 1 QNH, 2 and 3 STD. A '*' after a value is a lit managed dot; HDG shows
--- while the selected heading is hidden; V/S shows ---- while managed; in TRK/FPA mode the
windows read TRK and FPA (tenths of a degree, e.g. FPA -1.5). Lit lights: LOC AP1 A/THR
EXPED APPR.

Log (--log): one JSON object per line, flushed per line. Every line has
  "t": seconds since the ready line, "mono_ns": std::chrono::steady_clock nanoseconds
  (CLOCK_MONOTONIC on Linux, comparable between processes).
  Sent:     {"rack":"fcu","dir":"out","hex":"7b...7d","fields":{"spd":5,...}}
            mono_ns is taken right after the write returned: the time of the last byte.
            Text racks add "text" (the message) and give "fields" when it is a JSON
            object; raw sends add "raw":true.
  Received: {"rack":"efis","dir":"in","hex":...,"fields":{"baro":1013,"option":0,"fd":1,
            "ls":0,"baro_mode":1},"display":"BARO 1013 ..."}
            fcu fields: trk_fpa spd spd_dot hdg hdg_dot alt alt_managed vs fpa vs_managed
            lights show_hdg, and the lights one by one: loc ap1 athr exped appr (bools).
            Skipped bytes: {"rack":..,"dir":"in","hex":..,"garbage":true}; bytes on a
            text rack's line: {"rack":..,"dir":"in","hex":..}.
  Events:   {"event":"ready","racks":{"efis":{"device":"/dev/pts/4","link":"..."}}}
            {"event":"action","text":"press fcu ap1"}   {"event":"mark","text":"..."}
            {"event":"error","line":..,"error":..}   (a control line that was refused)
            {"event":"backlog"|"drained","rack":..,"unread":N}
            {"event":"opened"|"closed","rack":..,"openers":N}   another program (the
            service) opened or closed the rack's pseudo-terminal; after the last close
            the exclusive-use mark it set is cleared, so that it can open it again
            {"event":"write_failed","rack":..}
            {"event":"lost","rack":..}   an attached device hung up; it is read no more
            {"event":"exit","reason":"quit"|"signal"}
)";

constexpr std::pair<RackKind, const char*> kRackHelp[] = {
    {RackKind::Joystick, "joystick rack: JSON messages with its eight members"},
    {RackKind::Pedals, "pedals rack: JSON messages with its two members"},
    {RackKind::Efis, "EFIS panel: 30-byte input frames out, 22-byte frames from the service in"},
    {RackKind::Fcu, "FCU panel: 82-byte input frames out, 50-byte frames from the service in"},
};

// --period efis=50
std::pair<RackKind, std::chrono::milliseconds> parseRackPeriod(const std::string& text) {
    const std::size_t equals = text.find('=');
    const auto rack = rackFromName(text.substr(0, equals));
    if (equals == std::string::npos || !rack)
        throw CLI::ValidationError("needs RACK=MS, not: " + text);
    try {
        return {*rack, std::chrono::milliseconds(parsePeriodMs(text.substr(equals + 1)))};
    } catch (const ActionError& error) {
        throw CLI::ValidationError(text + ": " + error.what());
    }
}

using Periods = std::map<RackKind, std::chrono::milliseconds>;

// Naming a rack, with or without a path, asks for it.
void addRacks(CLI::App& app, Options& options) {
    app.option_defaults()->group("Racks (at least one)");
    for (const auto& entry : kRackHelp) {
        const RackKind kind = entry.first;
        app.add_option_function<std::string>(
               "--" + std::string(rackName(kind)),
               [&options, kind](const std::string& path) { options.racks[kind].linkPath = path; },
               entry.second)
            ->expected(0, 1)
            ->type_name("[PATH]");
    }
    for (RackKind kind : allRacks) {
        const std::string link = "--" + std::string(rackName(kind));
        app.add_option_function<std::string>(
               link + "-device",
               [&options, kind](const std::string& path) { options.racks[kind].devicePath = path; },
               "attach to an existing device instead, such as /dev/ttyUSB0")
            ->type_name("PATH")
            ->excludes(link);
    }
}

void addRun(CLI::App& app, Options& options, Periods& periods) {
    app.option_defaults()->group("Options");
    app.add_option("--period", "send period of a rack in milliseconds (default 100), e.g. efis=50")
        ->type_name("RACK=MS")
        ->take_all()
        ->allow_extra_args(false)
        ->each([&periods](const std::string& text) {
            const auto [rack, period] = parseRackPeriod(text);
            periods[rack] = period;
        });
    addRunOptions(app, options);
    app.add_flag("--verbose", options.verbose, "print every action as it runs");
    app.set_help_flag("-h,--help", "this text")->group("Options");
}

void checkRacks(const Periods& periods, Options& options) {
    if (options.racks.empty()) throw CLI::ValidationError("no rack asked for");
    for (const auto& [kind, period] : periods) {
        const auto rack = options.racks.find(kind);
        if (rack == options.racks.end()) {
            throw CLI::ValidationError("--period",
                                       "for a rack not asked for: " + std::string(rackName(kind)));
        }
        rack->second.period = period;
    }
}

}  // namespace

std::optional<int> readCommandLine(int argc, const char* const* argv, Options& options) {
    CLI::App app(kDescription, "rack-emulator");
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.get_formatter()->column_width(22);
    app.footer(kFooter);
    app.failure_message([](const CLI::App*, const CLI::Error& error) {
        return "rack-emulator: " + std::string(error.what()) + "\nTry 'rack-emulator --help'.\n";
    });
    Periods periods;
    addRacks(app, options);
    addRun(app, options, periods);
    return parseCommandLine(app, argc, argv, [&] { checkRacks(periods, options); });
}

}  // namespace rackemu
