// sim-standin: the simulator and its companion module, for tests, benchmarks and the demo.
#include <algorithm>
#include <iostream>
#include <sstream>

#include "sim-standin/cli/options.h"
#include "sim-standin/server/port_registry.h"
#include "sim-standin/server/server.h"

namespace {

using namespace standin;

SimulatorConfig simulatorConfig(const Options& options, std::vector<ScriptAction> script) {
    SimulatorConfig config;
    config.rules.openAnswer = options.openAnswer;
    config.rules.rejectedNames = options.rejectNames;
    config.rules.silent = options.noOpenAnswer;
    config.quitAfter = options.quitAfter;
    config.breakAfter = options.breakAfter;
    config.breakMidMessage = options.breakMidMessage;
    config.stopReadingAfter = options.stopReadingAfter;
    config.flightStarted = options.flightStart == Options::FlightStart::Now;
    if (options.flightStart == Options::FlightStart::At) {
        ScriptAction start;
        start.at = options.flightStartAt;
        start.kind = ScriptAction::Kind::StartFlight;
        start.source = Json{{"at", options.flightStartAt}, {"start_flight", true}};
        // Ahead of script actions at the same time, as if it were the script's first line.
        const auto before =
            std::lower_bound(script.begin(), script.end(), start.at,
                             [](const ScriptAction& a, double at) { return a.at < at; });
        script.insert(before, start);
    }
    config.script = std::move(script);
    return config;
}

std::string readyLine(const ListeningPorts& ports) {
    std::ostringstream line;
    line << "sim-standin: ready";
    if (ports.pipePath) line << " pipe=" << *ports.pipePath;
    if (ports.ipv4) line << " ipv4=" << ports.ipv4Address << ":" << *ports.ipv4;
    if (ports.ipv6) line << " ipv6=[" << ports.ipv6Address << "]:" << *ports.ipv6;
    return line.str();
}

Json listeningEntry(const ListeningPorts& ports) {
    Json entry{{"event", "listening"}};
    if (ports.pipePath) entry["pipe"] = *ports.pipePath;
    if (ports.ipv4) entry["ipv4"] = *ports.ipv4;
    if (ports.ipv6) entry["ipv6"] = *ports.ipv6;
    return entry;
}

int serve(const Options& options, std::vector<ScriptAction> script, Clock::time_point start) {
    RequestLog log(start);
    std::string error;
    if (!options.logFile.empty() && !log.open(options.logFile, error)) {
        std::cerr << "sim-standin: " << error << std::endl;
        return 1;
    }
    // Stop requests are caught from here on, so the registry is always cleaned up.
    StopSignal stop;
    Simulator simulator(simulatorConfig(options, std::move(script)), log, std::cout, start);
    const std::unique_ptr<Server> server = Server::create(simulator, std::cout);
    if (!server->listen(ListenPlan{options.pipePath, options.tcp, options.tcpPort, options.listenAddress}, error)) {
        std::cerr << "sim-standin: " << error << std::endl;
        return 1;
    }
    PortRegistry registry;
    if (!registry.publish(server->ports().ipv4, server->ports().ipv6, error)) {
        std::cout << "sim-standin: ports not published (" << error << ")" << std::endl;
    }
    log.note(Clock::now(), 0, listeningEntry(server->ports()));
    std::cout << readyLine(server->ports()) << std::endl;
    server->run(stop);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const auto start = Clock::now();
    Options options;
    if (const auto exitCode = readCommandLine(argc, argv, options)) return *exitCode;
    ScriptLoad script;
    if (!options.scriptFile.empty()) {
        script = loadScript(options.scriptFile);
        if (!script.error.empty()) {
            std::cerr << "sim-standin: script " << script.error << std::endl;
            return 2;
        }
    }
    try {
        return serve(options, std::move(script.actions), start);
    } catch (const std::exception& failure) {
        std::cerr << "sim-standin: " << failure.what() << std::endl;
        return 1;
    }
}
