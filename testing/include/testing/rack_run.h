// One whole run for the rack tests: sim-standin, rack-emulator with the racks on links in
// a folder of its own, and orvendale-fs with a rack_config.json naming those links.
#pragma once

#include <algorithm>
#include <sys/stat.h>

#include <csignal>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "testing/loopback_peer.h"
#include "testing/rack_log.h"
#include "testing/service_output.h"
#include "testing/standin_log.h"

namespace racktest {

using namespace std::chrono_literals;
using testsupport::Json;

inline std::size_t countOf(const std::vector<std::string>& events, const std::string& name) {
    return static_cast<std::size_t>(std::count(events.begin(), events.end(), name));
}

// One service process with a working folder and HOME of its own.
struct ServiceRun {
    testsupport::TempDir work;
    testsupport::TempDir home;
    std::unique_ptr<testsupport::ChildProcess> process;
};

class RackRun {
public:
    // `racks` are emulator rack names ("joystick", "efis", ...); `standinArgs` are added
    // to the stand-in's own pipe and log. The racks are played by `racksProgram`, its first
    // word the program (rack-emulator, or board-sim with the boards' firmware), the rest
    // its own options.
    explicit RackRun(const std::vector<std::string>& racks,
                     const std::vector<std::string>& standinArgs = {},
                     const std::vector<std::string>& racksProgram = {"rack-emulator"}) {
        std::vector<std::string> args = {"--pipe-name", pipe_, "--no-tcp"};
        args.insert(args.end(), standinArgs.begin(), standinArgs.end());
        standin_ = testsupport::startStandin(standinHome_, args);
        if (racks.empty()) return;
        testsupport::ProcessOptions emulator{
            {testsupport::binaryPath(racksProgram.front()), "--log", racksDir_.file("racks.jsonl"),
             "--control", racksDir_.file("control")},
            racksDir_.path()};
        emulator.args.insert(emulator.args.end(), racksProgram.begin() + 1, racksProgram.end());
        for (const std::string& rack : racks)
            emulator.args.insert(emulator.args.end(), {"--" + rack, link(rack)});
        emulator_ = std::make_unique<testsupport::ChildProcess>(emulator);
        emulator_->waitForOutput(racksProgram.front() + ": ready", 10s);
    }
    ~RackRun() {
        if (standin_.process) standin_.process->signal(SIGTERM);
        if (service_) service_->process->waitExit(10s);
        if (emulator_) emulator_->signal(SIGTERM);
    }

    // The link of an emulator rack, as a configuration key.
    std::string link(const std::string& rack) const { return racksDir_.file(rack); }
    // Writes rack_config.json and starts the service; true once every emulator rack
    // named in `waitFor` has been opened by it and the simulator has answered.
    bool startService(const std::string& config, const std::vector<std::string>& waitFor = {}) {
        if (!standin_.ready) return false;
        service_ = launch(config);
        for (const std::string& rack : waitFor)
            if (!rackLog_.waitForRackEvent("opened", rack, 10s)) return false;
        return simLog_.waitForMessage("OPEN", nullptr, 10s).has_value();
    }
    // Starts another service against the same stand-in, with `config` as its
    // rack_config.json (none when empty), through the command `wrapper` when one is given
    // (the working folder is then open to every user, as the wrapper may change users).
    std::unique_ptr<ServiceRun> launch(const std::optional<std::string>& config,
                                       const std::vector<std::string>& wrapper = {}) {
        auto run = std::make_unique<ServiceRun>();
        run->work.write("SimConnect.cfg", servicetest::pipeConfig(pipe_));
        if (config) run->work.write("rack_config.json", *config);
        if (!wrapper.empty()) chmod(run->work.path().c_str(), 0755);
        testsupport::ProcessOptions options = servicetest::serviceOptions(run->work, run->home);
        options.args.insert(options.args.end(), serviceArgs.begin(), serviceArgs.end());
        options.args.insert(options.args.begin(), wrapper.begin(), wrapper.end());
        run->process = std::make_unique<testsupport::ChildProcess>(options);
        return run;
    }
    // Sends control lines to the emulator; lines of one call reach the same message or frame.
    bool act(const std::string& lines) {
        return testsupport::sendRackActions(racksDir_.file("control"), lines);
    }
    // Has the stand-in quit and returns the service's exit code, if it exited in time
    // (none for a run whose services were all launched).
    std::optional<int> quitSimulator(std::chrono::milliseconds timeout = 10s) {
        standin_.process->signal(SIGTERM);
        if (!service_) return std::nullopt;
        return service_->process->waitExit(timeout);
    }

    // Added to the service's command line by the next start or launch.
    std::vector<std::string> serviceArgs;

    bool simulatorReady() const { return standin_.ready; }
    std::string output() const { return service_ ? service_->process->output() : std::string(); }
    testsupport::ChildProcess& service() { return *service_->process; }
    testsupport::StandinLog& sim() { return simLog_; }
    testsupport::RackLog& racks() { return rackLog_; }

    // Waits until `count` events named `event` are logged from `from` on.
    bool waitForEvents(const std::string& event, std::size_t count, std::size_t from,
                       std::chrono::milliseconds timeout = 5s) {
        return testsupport::waitUntil(
            [&] { return countOf(simLog_.transmittedEvents(from), event) >= count; }, timeout);
    }
    // Waits for a data write of `definition` whose values match.
    std::optional<Json> waitForWrite(unsigned definition, const testsupport::JsonMatch& values,
                                     std::size_t from, std::chrono::milliseconds timeout = 5s) {
        return simLog_.waitForRequest(
            "SetDataOnSimObject",
            [&](const Json& fields) {
                return fields.value("DefineID", 0u) == definition && values(fields["values"]);
            },
            timeout, from);
    }
    // The events from `from` on, without the pedals' brakes that interleave with any rack's.
    std::vector<std::string> eventsBesideBrakes(std::size_t from) {
        std::vector<std::string> events = simLog_.transmittedEvents(from);
        std::erase_if(events, [](const std::string& e) { return e.find("BRAKE") != std::string::npos; });
        return events;
    }
    // The values of the uplink commands named `name` from `from` on.
    std::vector<int> commands(const std::string& name, std::size_t from) {
        std::vector<int> values;
        for (const Json& command : simLog_.uplinkCommands(from))
            if (command.value("name", "") == name) values.push_back(command.value("value", -1));
        return values;
    }
    bool waitForCommands(const std::string& name, std::size_t count, std::size_t from) {
        return testsupport::waitUntil([&] { return commands(name, from).size() >= count; }, 5s);
    }

private:
    testsupport::TempDir standinHome_;
    testsupport::TempDir racksDir_;
    std::string pipe_ = loopback_peer::UniquePipeName("racks");
    testsupport::StandinRun standin_;
    std::unique_ptr<testsupport::ChildProcess> emulator_;
    std::unique_ptr<ServiceRun> service_;
    testsupport::StandinLog simLog_{standinHome_.file("standin.jsonl")};
    testsupport::RackLog rackLog_{racksDir_.file("racks.jsonl")};
};

}  // namespace racktest
