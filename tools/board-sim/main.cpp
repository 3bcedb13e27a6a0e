// board-sim: the racks' firmware on emulated boards (see --help).
#include <sys/resource.h>

#include <fstream>
#include <iostream>

#include "board-sim/board_run.h"
#include "board-sim/options.h"
#include "rack-emulator/event_loop.h"

namespace boardsim {

namespace {

struct Board {
    std::unique_ptr<rackemu::RackDevice> device;
    EmulatedRack* rack;
    BridgeModel bridge;
};

std::vector<rackemu::ScriptStep> loadScript(const std::string& path) {
    if (path.empty()) return {};
    std::ifstream in(path);
    if (!in) throw rackemu::ActionError("cannot read the script " + path);
    return rackemu::parseScript(in);
}

std::string imagePath(const Options& options, rackemu::RackKind kind, const BoardRequest& request) {
    if (!request.firmware.empty()) return request.firmware;
    return options.firmwareDir + "/" + std::string(boardLayout(kind).image) + ".elf";
}

void announce(const std::vector<Board>& boards, rackemu::EventLog& log) {
    std::string line = "board-sim: ready";
    rackemu::Json devices = rackemu::Json::object();
    for (const Board& board : boards) {
        const std::string name = board.rack->name();
        line += " " + name + "=" + board.device->devicePath();
        devices[name] = {{"device", board.device->devicePath()}, {"bridge", bridgeName(board.bridge)}};
        if (!board.device->linkPath().empty()) devices[name]["link"] = board.device->linkPath();
    }
    std::cout << line << std::endl;
    log.event("ready", {{"racks", devices}}, log.start());
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

int run(const Options& options) {
    const std::vector<rackemu::ScriptStep> script = loadScript(options.scriptPath);
    rackemu::installStopSignals();
    rackemu::EventLog log(Clock::now());
    if (!log.open(options.logPath)) throw std::runtime_error("cannot create the log " + options.logPath);
    rackemu::Emulator emulator(log, std::cout, std::cerr, false, "board-sim");
    std::vector<Board> boards;
    for (const auto& [kind, request] : options.boards) {
        auto rack = std::make_unique<EmulatedRack>(kind, imagePath(options, kind, request), log, std::cout);
        const BridgeModel bridge =
            request.bridge.empty() ? boardLayout(kind).board.bridge : *bridgeFromName(request.bridge);
        boards.push_back({rackemu::RackDevice::createPseudoTerminal(request.linkPath), rack.get(), bridge});
        emulator.addRack(kind, std::move(rack));
    }
    std::unique_ptr<rackemu::ControlInput> control;
    if (!options.controlPath.empty()) control = rackemu::ControlInput::open(options.controlPath);
    emulator.schedule(script, options.scriptAfterOpen);
    if (options.durationSeconds) emulator.quitAt(log.start() + rackemu::fromSeconds(*options.durationSeconds));

    std::vector<BoardStation> stations;
    for (const Board& board : boards) stations.push_back({board.rack, board.device.get(), UsbBridge(board.bridge)});
    announce(boards, log);
    const std::string reason = runBoards(emulator, stations, control.get(), log);
    const std::chrono::duration<double> wall = Clock::now() - log.start();
    log.event("exit",
              {{"reason", reason}, {"cpu_s", cpuSeconds()}, {"wall_s", wall.count()}, {"boards", boards.size()}},
              Clock::now());
    return 0;
}

}  // namespace

}  // namespace boardsim

int main(int argc, char** argv) {
    using namespace boardsim;
    const Parsed parsed = parseOptions(argc, argv);
    if (!parsed.options) return parsed.exitCode;
    try {
        return run(*parsed.options);
    } catch (const rackemu::ActionError& error) {
        std::cerr << "board-sim: script: " << error.what() << '\n';
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "board-sim: " << error.what() << '\n';
        return 1;
    }
}
