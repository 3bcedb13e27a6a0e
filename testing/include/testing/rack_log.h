// Reading what rack-emulator did, for tests that run it next to the service. Frames the
// racks sent are "dir":"out", frames the service wrote are "dir":"in"; see
// rack-emulator --help for every line of its log.
//
// Driving the racks step by step: start the emulator with --control PIPE and write action
// lines ("press fcu ap1", "turn efis baro 3") with sendRackActions; the lines of one call
// are read together and reach the same frame or message.
#pragma once

#include <map>

#include "testing/json_lines.h"

namespace testsupport {

class RackLog : public JsonLinesLog {
public:
    using JsonLinesLog::JsonLinesLog;

    // A frame the service wrote to `rack` ("efis", "fcu", ...) whose "fields" match.
    std::optional<Json> waitForReceived(const std::string& rack, const JsonMatch& fields,
                                        std::chrono::milliseconds timeout, std::size_t from = 0) {
        return waitFor(frameOf(rack, "in", fields), timeout, from);
    }
    // A message or frame the rack sent whose "fields" match.
    std::optional<Json> waitForSent(const std::string& rack, const JsonMatch& fields,
                                    std::chrono::milliseconds timeout, std::size_t from = 0) {
        return waitFor(frameOf(rack, "out", fields), timeout, from);
    }
    // An event of one rack, such as "opened" when the service opened its device.
    std::optional<Json> waitForRackEvent(const std::string& event, const std::string& rack,
                                         std::chrono::milliseconds timeout, std::size_t from = 0);
    // The racks' devices by rack name, once the emulator has logged that it is ready.
    std::map<std::string, std::string> waitForDevices(std::chrono::milliseconds timeout);
    // The display of the last frame received on a panel rack.
    std::optional<std::string> lastDisplay(const std::string& rack);
    // Every entry of one rack in one direction ("out": sent, "in": received), from `from` on.
    std::vector<Json> frames(const std::string& rack, const std::string& dir, std::size_t from = 0) {
        return select(frameOf(rack, dir, {}), from);
    }

private:
    static JsonMatch frameOf(const std::string& rack, const std::string& dir, const JsonMatch& fields) {
        return [=](const Json& entry) {
            return entry.value("rack", "") == rack && entryWith("dir", dir, fields)(entry);
        };
    }
};

// Writes action lines (a line feed is added when missing) to the named pipe of a running
// rack-emulator --control PIPE. False when the pipe is not there.
bool sendRackActions(const std::string& pipePath, const std::string& lines);

}  // namespace testsupport
