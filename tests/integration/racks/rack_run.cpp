#include "tests/integration/racks/rack_run.h"

#include <algorithm>
#include <csignal>

namespace racktest {

RackRun::RackRun(const std::vector<std::string>& racks, const std::vector<std::string>& standinArgs)
    : simLog_(""), rackLog_(racksDir_.file("racks.jsonl")) {
    pipe_ = testsupport::uniquePipeName("racks");
    std::vector<std::string> args = {"--pipe-name", pipe_, "--no-tcp"};
    args.insert(args.end(), standinArgs.begin(), standinArgs.end());
    standin_ = testsupport::startStandin(standinHome_, args);
    simLog_ = testsupport::StandinLog(standin_.logPath);
    if (racks.empty()) return;

    testsupport::ProcessOptions emulator{{testsupport::binaryPath("rack-emulator"), "--log",
                                          racksDir_.file("racks.jsonl"), "--control", racksDir_.file("control")}};
    for (const std::string& rack : racks) {
        emulator.args.push_back("--" + rack);
        emulator.args.push_back(link(rack));
    }
    emulator.cwd = racksDir_.path();
    emulator_ = std::make_unique<testsupport::ChildProcess>(emulator);
    emulator_->waitForOutput("rack-emulator: ready", 10s);
}

RackRun::~RackRun() {
    if (standin_.process) standin_.process->signal(SIGTERM);
    if (service_) service_->process->waitExit(10s);
    if (emulator_) emulator_->signal(SIGTERM);
}

std::unique_ptr<ServiceRun> RackRun::launch(const std::optional<std::string>& config) {
    auto run = std::make_unique<ServiceRun>();
    run->work.write("SimConnect.cfg", servicetest::pipeConfig(pipe_));
    if (config) run->work.write("rack_config.json", *config);
    run->process = std::make_unique<testsupport::ChildProcess>(servicetest::serviceOptions(run->work, run->home));
    return run;
}

bool RackRun::startService(const std::string& config, const std::vector<std::string>& waitFor) {
    if (!standin_.ready) return false;
    service_ = launch(config);
    for (const std::string& rack : waitFor) {
        if (!rackLog_.waitForRackEvent("opened", rack, 10s)) return false;
    }
    return simLog_.waitForMessage("OPEN", nullptr, 10s).has_value();
}

bool RackRun::act(const std::string& lines) {
    return testsupport::sendRackActions(racksDir_.file("control"), lines);
}

std::optional<int> RackRun::quitSimulator(std::chrono::milliseconds timeout) {
    standin_.process->signal(SIGTERM);
    if (!service_) return std::nullopt;
    return service_->process->waitExit(timeout);
}

bool RackRun::waitForEvents(const std::string& event, std::size_t count, std::size_t from,
                            std::chrono::milliseconds timeout) {
    return testsupport::waitUntil(
        [&] {
            const auto events = simLog_.transmittedEvents(from);
            return static_cast<std::size_t>(std::count(events.begin(), events.end(), event)) >= count;
        },
        timeout);
}

std::optional<Json> RackRun::waitForWrite(unsigned definition, const testsupport::JsonMatch& values,
                                          std::size_t from, std::chrono::milliseconds timeout) {
    return simLog_.waitForRequest(
        "SetDataOnSimObject",
        [&](const Json& fields) {
            return fields.value("DefineID", 0u) == definition && values(fields["values"]);
        },
        timeout, from);
}

std::vector<std::string> RackRun::eventsBesideBrakes(std::size_t from) {
    std::vector<std::string> events = simLog_.transmittedEvents(from);
    std::erase_if(events, [](const std::string& e) { return e.find("BRAKE") != std::string::npos; });
    return events;
}

std::vector<int> RackRun::commands(const std::string& name, std::size_t from) {
    std::vector<int> values;
    for (const Json& command : simLog_.uplinkCommands(from))
        if (command.value("name", "") == name) values.push_back(command.value("value", -1));
    return values;
}

bool RackRun::waitForCommands(const std::string& name, std::size_t count, std::size_t from) {
    return testsupport::waitUntil([&] { return commands(name, from).size() >= count; }, 5s);
}

}  // namespace racktest
