// rack-emulator: virtual cockpit racks on pseudo-terminals (see --help).
#include <fstream>
#include <iostream>

#include "rack-emulator/event_loop.h"
#include "rack-emulator/options.h"

namespace rackemu {

namespace {

struct OpenRack {
    RackKind kind;
    std::unique_ptr<RackDevice> device;
    std::chrono::milliseconds period;
};

std::vector<ScriptStep> loadScript(const std::string& path) {
    if (path.empty()) return {};
    std::ifstream in(path);
    if (!in) throw ActionError("cannot read the script " + path);
    return parseScript(in);
}

std::vector<OpenRack> openRacks(const Options& options) {
    std::vector<OpenRack> racks;
    for (const auto& [kind, request] : options.racks) {
        auto device = request.devicePath.empty()
                          ? RackDevice::createPseudoTerminal(request.linkPath)
                          : RackDevice::attach(request.devicePath);
        racks.push_back({kind, std::move(device), request.period});
    }
    return racks;
}

void announce(const std::vector<OpenRack>& racks, EventLog& log) {
    std::string line = "rack-emulator: ready";
    Json devices = Json::object();
    for (const OpenRack& rack : racks) {
        const std::string name(rackName(rack.kind));
        line += " " + name + "=" + rack.device->devicePath();
        devices[name] = {{"device", rack.device->devicePath()}};
        if (!rack.device->linkPath().empty()) devices[name]["link"] = rack.device->linkPath();
    }
    std::cout << line << std::endl;
    log.event("ready", {{"racks", devices}}, log.start());
}

int run(const Options& options) {
    const std::vector<ScriptStep> script = loadScript(options.scriptPath);
    installStopSignals();
    std::vector<OpenRack> racks = openRacks(options);
    std::unique_ptr<ControlInput> control;
    if (!options.controlPath.empty()) control = ControlInput::open(options.controlPath);

    EventLog log(Clock::now());
    if (!log.open(options.logPath))
        throw std::runtime_error("cannot create the log " + options.logPath);
    Emulator emulator(log, std::cout, std::cerr, options.verbose);
    std::vector<LoopRack> loopRacks;
    for (const OpenRack& rack : racks) {
        emulator.addRack(rack.kind, *rack.device, rack.period);
        loopRacks.push_back({rack.kind, rack.device.get()});
    }
    emulator.schedule(script, options.scriptAfterOpen);
    if (options.durationSeconds)
        emulator.quitAt(log.start() + fromSeconds(*options.durationSeconds));

    announce(racks, log);
    const std::string reason = runEventLoop(emulator, loopRacks, control.get(), log);
    log.event("exit", {{"reason", reason}}, Clock::now());
    return 0;
}

}  // namespace

}  // namespace rackemu

int main(int argc, char** argv) {
    using namespace rackemu;
    Options options;
    if (const auto exitCode = readCommandLine(argc, argv, options)) return *exitCode;
    try {
        return run(options);
    } catch (const ActionError& error) {
        std::cerr << "rack-emulator: script: " << error.what() << '\n';
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "rack-emulator: " << error.what() << '\n';
        return 1;
    }
}
