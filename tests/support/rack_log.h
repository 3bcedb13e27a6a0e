// Reading what rack-emulator did, for tests that run it next to the service.
//
// rack-emulator --log FILE writes one JSON object per line, flushed per line. Every line has
//   "t"        seconds since the emulator's ready line (double)
//   "mono_ns"  std::chrono::steady_clock nanoseconds since its epoch (CLOCK_MONOTONIC on
//              Linux): comparable with the same clock in another process of this machine
// and then one of:
//   sent by a rack (emulator to service; mono_ns is taken right after the one write of it
//   returned, that is the time of its last byte):
//     {"rack":"fcu","dir":"out","hex":"7b..7d","fields":{"spd":5,"hdg":0,...}}
//     panel fields by name (see rack-emulator --help); text racks add "text" (the message
//     as sent) and give "fields" when the text is a JSON object; raw sends add "raw":true.
//   received from the service (a whole frame cut from the stream):
//     {"rack":"efis","dir":"in","hex":...,"fields":{"baro":1013,"option":0,"fd":1,"ls":0,
//      "baro_mode":1},"display":"BARO 1013  QNH  FD [ON]  LS [OFF]  OPT 0"}
//     {"rack":"fcu","dir":"in",...,"fields":{"trk_fpa":0,"spd":250,"spd_dot":0,"hdg":180,
//      "hdg_dot":0,"alt":5000,"alt_managed":0,"vs":700,"fpa":0,"vs_managed":0,"lights":7,
//      "show_hdg":1,"loc":true,"ap1":true,"athr":true,"exped":false,"appr":false},
//      "display":"SPD 250  HDG 180  ALT 5000  V/S +700  [LOC] [AP1] [A/THR]"}
//     bytes skipped while looking for a frame: {"rack":..,"dir":"in","hex":..,"garbage":true}
//   events: {"event":"ready","racks":{"efis":{"device":"/dev/pts/4","link":"/tmp/x/efis"}}},
//     {"event":"action","text":"press fcu ap1"}, {"event":"mark","text":"..."},
//     {"event":"error","line":..,"error":..}, {"event":"backlog"|"drained","rack":..,
//     "unread":N}, {"event":"opened"|"closed","rack":..,"openers":N} (another program,
//     the service, opened or closed the rack's pseudo-terminal: wait for "opened" before
//     a one-shot action such as a turn, since the service discards what came before its
//     open), {"event":"write_failed","rack":..}, {"event":"lost","rack":..},
//     {"event":"exit","reason":"quit"|"signal"}
//
// Driving the racks step by step: start the emulator with --control PIPE and write action
// lines ("press fcu ap1", "turn efis baro 3", "set pedals brake_position 12.7") with
// sendRackActions; see rack-emulator --help for the verbs. The lines of one call are read
// together and reach the same frame or message (for example two presses at once).
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

using Json = nlohmann::json;
using JsonMatch = std::function<bool(const Json&)>;

class RackLog {
public:
    explicit RackLog(std::string path) : path_(std::move(path)) {}

    // Every complete line so far (a line still being written is left for the next call).
    const std::vector<Json>& entries();
    // The number of entries so far: a `from` for the waits below that skips what was
    // logged before an action.
    std::size_t size() { return entries().size(); }

    // Waits until an entry at index `from` or later matches; returns it.
    std::optional<Json> waitFor(const JsonMatch& match, std::chrono::milliseconds timeout,
                                std::size_t from = 0);
    // A frame the service wrote to `rack` ("efis", "fcu", ...) whose "fields" match.
    std::optional<Json> waitForReceived(const std::string& rack, const JsonMatch& fields,
                                        std::chrono::milliseconds timeout, std::size_t from = 0);
    // A message or frame the rack sent whose "fields" match.
    std::optional<Json> waitForSent(const std::string& rack, const JsonMatch& fields,
                                    std::chrono::milliseconds timeout, std::size_t from = 0);
    // A received frame whose display contains `text`.
    std::optional<Json> waitForDisplay(const std::string& rack, const std::string& text,
                                       std::chrono::milliseconds timeout, std::size_t from = 0);
    std::optional<Json> waitForEvent(const std::string& event, std::chrono::milliseconds timeout,
                                     std::size_t from = 0);

    // The last frame received from the service on a panel rack, decoded.
    std::optional<Json> lastReceived(const std::string& rack);
    std::optional<std::string> lastDisplay(const std::string& rack);
    // Every entry of one rack in one direction ("out": sent, "in": received).
    std::vector<Json> frames(const std::string& rack, const std::string& dir);

private:
    std::string path_;
    std::size_t offset_ = 0;
    std::vector<Json> entries_;
};

// The devices of the ready line ("rack-emulator: ready efis=/dev/pts/4 ...") in a captured
// output, by rack name; empty when the line is not there (yet).
std::map<std::string, std::string> parseRackReadyLine(const std::string& output);

// Writes action lines (a line feed is added when missing) to the named pipe of a running
// rack-emulator --control PIPE. False when the pipe is not there.
bool sendRackActions(const std::string& pipePath, const std::string& lines);

}  // namespace testsupport
