// Running sim-standin in a test and reading what it saw and sent: requests received are
// "dir":"in" with "request", messages sent are "dir":"out" with "message", changes of
// the aircraft carry "model" or "cockpit"; see sim-standin --help for every line of its log.
#pragma once

#include <memory>

#include "testing/json_lines.h"
#include "testing/process.h"

namespace testsupport {

struct StandinEndpoints {
    std::string pipe;  // the pipe path, empty with --no-pipe
    int ipv4 = 0;      // 0 when not listening
    int ipv6 = 0;
};

class StandinLog : public JsonLinesLog {
public:
    using JsonLinesLog::JsonLinesLog;

    // A request named `request` whose "fields" match (any fields when `fields` is empty).
    std::optional<Json> waitForRequest(const std::string& request, const JsonMatch& fields,
                                       std::chrono::milliseconds timeout, std::size_t from = 0) {
        return waitFor(entryWith("request", request, fields), timeout, from);
    }
    // A message named `message` sent, whose "fields" match.
    std::optional<Json> waitForMessage(const std::string& message, const JsonMatch& fields,
                                       std::chrono::milliseconds timeout, std::size_t from = 0) {
        return waitFor(entryWith("message", message, fields), timeout, from);
    }
    // A change of a simulation variable ("model") or cockpit variable ("cockpit") by name
    // whose new value matches.
    std::optional<Json> waitForChange(const std::string& name,
                                      const std::function<bool(double)>& value,
                                      std::chrono::milliseconds timeout, std::size_t from = 0);

    // Requests (or messages) of one name from `from` on, in order.
    std::vector<Json> requests(const std::string& request, std::size_t from = 0) {
        return select(entryWith("request", request), from);
    }
    std::vector<Json> messages(const std::string& message, std::size_t from = 0) {
        return select(entryWith("message", message), from);
    }
    // The events of accepted TransmitClientEvent requests from `from` on, by name, in order.
    std::vector<std::string> transmittedEvents(std::size_t from = 0);
    // The decoded uplink commands from `from` on, in order.
    std::vector<Json> uplinkCommands(std::size_t from = 0);
    // Where the stand-in listens, once it has logged that it does.
    std::optional<StandinEndpoints> waitForListening(std::chrono::milliseconds timeout) {
        const auto entry = waitForEvent("listening", timeout);
        if (!entry) return std::nullopt;
        return StandinEndpoints{entry->value("pipe", ""), entry->value("ipv4", 0), entry->value("ipv6", 0)};
    }
};

struct StandinRun {
    std::unique_ptr<ChildProcess> process;
    bool ready = false;  // it listened in time; process->output() tells otherwise
    StandinEndpoints endpoints;
    std::string logPath;
};

// Starts sim-standin with HOME and the working directory in `home`, its log at
// home/standin.jsonl, and `args` (for example {"--pipe-name", loopback_peer::UniquePipeName("x")}), and
// waits until it listens.
StandinRun startStandin(const TempDir& home, const std::vector<std::string>& args,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace testsupport
