#include "testing/standin_log.h"

namespace testsupport {

std::optional<Json> StandinLog::waitForChange(const std::string& name,
                                              const std::function<bool(double)>& value,
                                              std::chrono::milliseconds timeout, std::size_t from) {
    return waitFor(
        [&](const Json& e) {
            const bool named = e.value("model", "") == name || e.value("cockpit", "") == name;
            return named && e["value"].is_number() && value(e["value"].get<double>());
        },
        timeout, from);
}

std::vector<std::string> StandinLog::transmittedEvents(std::size_t from) {
    std::vector<std::string> names;
    for (const Json& entry : requests("TransmitClientEvent", from)) {
        if (!entry.contains("exception")) names.push_back(entry["fields"].value("event", ""));
    }
    return names;
}

std::vector<Json> StandinLog::uplinkCommands(std::size_t from) {
    std::vector<Json> commands;
    for (const Json& entry : requests("SetClientData", from)) {
        if (entry["fields"].contains("command")) commands.push_back(entry["fields"]["command"]);
    }
    return commands;
}

StandinRun startStandin(const TempDir& home, const std::vector<std::string>& args,
                        std::chrono::milliseconds timeout) {
    StandinRun run;
    run.logPath = home.file("standin.jsonl");
    ProcessOptions options;
    options.args = {binaryPath("sim-standin"), "--log", run.logPath};
    options.args.insert(options.args.end(), args.begin(), args.end());
    options.cwd = home.path();
    options.env = {{"HOME", home.path()}};
    run.process = std::make_unique<ChildProcess>(options);
    const auto endpoints = StandinLog(run.logPath).waitForListening(timeout);
    run.ready = endpoints.has_value();
    if (run.ready) run.endpoints = *endpoints;
    return run;
}

}  // namespace testsupport
