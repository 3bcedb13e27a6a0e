// One whole run for the rack tests: sim-standin, rack-emulator with the racks on links in
// a folder of its own, and orvendale-fs with a rack_config.json naming those links.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/rack_log.h"
#include "tests/support/service_output.h"
#include "tests/support/standin_log.h"

namespace racktest {

using namespace std::chrono_literals;
using testsupport::Json;

// One service process with a working folder and HOME of its own.
struct ServiceRun {
    testsupport::TempDir work;
    testsupport::TempDir home;
    std::unique_ptr<testsupport::ChildProcess> process;
};

class RackRun {
public:
    // `racks` are emulator rack names ("joystick", "efis", ...); `standinArgs` are added
    // to the stand-in's own pipe and log.
    RackRun(const std::vector<std::string>& racks, const std::vector<std::string>& standinArgs = {});
    ~RackRun();

    // The link of an emulator rack, as a configuration key.
    std::string link(const std::string& rack) const { return racksDir_.file(rack); }
    // Writes rack_config.json and starts the service; true once every emulator rack
    // named in `waitFor` has been opened by it and the simulator has answered.
    bool startService(const std::string& config, const std::vector<std::string>& waitFor = {});
    // Starts another service against the same stand-in, with `config` as its
    // rack_config.json (none when empty).
    std::unique_ptr<ServiceRun> launch(const std::optional<std::string>& config);
    // Sends control lines to the emulator; lines of one call reach the same message or frame.
    bool act(const std::string& lines);
    // Has the stand-in quit and returns the service's exit code, if it exited in time
    // (none for a run whose services were all launched).
    std::optional<int> quitSimulator(std::chrono::milliseconds timeout = 10s);

    bool simulatorReady() const { return standin_.ready; }
    std::string output() const { return service_ ? service_->process->output() : std::string(); }
    testsupport::ChildProcess& service() { return *service_->process; }
    testsupport::StandinLog& sim() { return simLog_; }
    testsupport::RackLog& racks() { return rackLog_; }

    // Waits until `count` events named `event` are logged from `from` on.
    bool waitForEvents(const std::string& event, std::size_t count, std::size_t from,
                       std::chrono::milliseconds timeout = 5s);
    // Waits for a data write of `definition` whose values match.
    std::optional<Json> waitForWrite(unsigned definition, const testsupport::JsonMatch& values,
                                     std::size_t from, std::chrono::milliseconds timeout = 5s);
    // The events from `from` on, without the pedals' brakes that interleave with any rack's.
    std::vector<std::string> eventsBesideBrakes(std::size_t from);
    // The values of the uplink commands named `name` from `from` on.
    std::vector<int> commands(const std::string& name, std::size_t from);
    bool waitForCommands(const std::string& name, std::size_t count, std::size_t from);

private:
    testsupport::TempDir standinHome_;
    testsupport::TempDir racksDir_;
    std::string pipe_;
    testsupport::StandinRun standin_;
    std::unique_ptr<testsupport::ChildProcess> emulator_;
    std::unique_ptr<ServiceRun> service_;
    testsupport::StandinLog simLog_;
    testsupport::RackLog rackLog_;
};

}  // namespace racktest
