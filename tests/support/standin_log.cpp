#include "tests/support/standin_log.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>

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

namespace {

// The number after `prefix` in `line`, or 0.
int portAfter(const std::string& line, const std::string& prefix) {
    const auto at = line.find(prefix);
    if (at == std::string::npos) return 0;
    int port = 0;
    for (auto i = at + prefix.size();
         i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])); ++i) {
        port = port * 10 + (line[i] - '0');
    }
    return port;
}

}  // namespace

std::optional<StandinEndpoints> parseStandinReadyLine(const std::string& output) {
    const auto at = output.find("sim-standin: ready");
    const auto end = output.find('\n', at);
    if (at == std::string::npos || end == std::string::npos) return std::nullopt;
    const std::string line = output.substr(at, end - at);
    StandinEndpoints endpoints;
    // The pipe path has spaces; it runs up to the next endpoint or the end of the line.
    if (const auto pipe = line.find(" pipe="); pipe != std::string::npos) {
        const auto start = pipe + 6;
        const auto stop = std::min(line.find(" ipv4=", start), line.find(" ipv6=", start));
        endpoints.pipe =
            line.substr(start, stop == std::string::npos ? std::string::npos : stop - start);
    }
    endpoints.ipv4 = portAfter(line, " ipv4=127.0.0.1:");
    endpoints.ipv6 = portAfter(line, " ipv6=[::1]:");
    return endpoints;
}

std::string uniquePipeName(const std::string& tag) {
    static std::atomic<int> counter{0};
    return tag + "-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
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
    run.ready = waitUntil([&] { return parseStandinReadyLine(run.process->output()).has_value(); },
                          timeout);
    if (run.ready) run.endpoints = *parseStandinReadyLine(run.process->output());
    return run;
}

}  // namespace testsupport
