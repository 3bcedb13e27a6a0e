// The whole run the service benchmarks measure: sim-standin on a pipe of the run's own and
// the service pointed at it through SimConnect.cfg, each with a home and working directory
// of its own; and the four virtual racks of rack-emulator. A stand-in or racks that do not
// come up end the benchmark.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "testing/loopback_peer.h"
#include "testing/process.h"
#include "testing/service_output.h"
#include "testing/standin_log.h"

namespace bench {

class ServiceRun {
public:
    // `standinArgs` adds scenario options to the stand-in's command line; `service` is the
    // service's program.
    ServiceRun(const std::string& tag, const std::string& rackConfig,
               std::vector<std::string> standinArgs = {},
               const std::string& service = testsupport::binaryPath("orvendale-fs"),
               const std::vector<std::string>& serviceArgs = {})
        : pipe_(loopback_peer::UniquePipeName(tag)),
          standin_(testsupport::startStandin(standinHome_, withPipe(std::move(standinArgs), pipe_))) {
        if (!standin_.ready) std::exit(1);
        log_ = std::make_unique<testsupport::StandinLog>(standin_.logPath);
        work_.write("rack_config.json", rackConfig);
        work_.write("SimConnect.cfg", servicetest::pipeConfig(pipe_));
        testsupport::ProcessOptions options = servicetest::serviceOptions(work_, home_, service);
        options.args.insert(options.args.end(), serviceArgs.begin(), serviceArgs.end());
        service_ = std::make_unique<testsupport::ChildProcess>(options);
    }

    testsupport::StandinLog& log() { return *log_; }
    testsupport::ChildProcess& service() { return *service_; }
    testsupport::ChildProcess& standin() { return *standin_.process; }

private:
    static std::vector<std::string> withPipe(std::vector<std::string> args, const std::string& pipe) {
        args.insert(args.end(), {"--pipe-name", pipe, "--no-tcp"});
        return args;
    }

    testsupport::TempDir standinHome_, work_, home_;
    std::string pipe_;
    testsupport::StandinRun standin_;
    std::unique_ptr<testsupport::StandinLog> log_;
    std::unique_ptr<testsupport::ChildProcess> service_;
};

// The four racks on pseudo-terminals linked in a folder of their own, each sending at its
// documented rate (every 100 ms), flying `script` when one is given.
class VirtualRacks {
public:
    explicit VirtualRacks(const std::string& script = "") {
        testsupport::ProcessOptions options;
        options.args = {testsupport::binaryPath("rack-emulator")};
        for (const char* rack : {"joystick", "pedals", "efis", "fcu"}) {
            options.args.push_back(std::string("--") + rack);
            options.args.push_back(dir_.file(rack));
        }
        if (!script.empty()) {
            dir_.write("flight.script", script);
            options.args.insert(options.args.end(), {"--script", dir_.file("flight.script")});
        }
        emulator_ = std::make_unique<testsupport::ChildProcess>(options);
        if (!emulator_->waitForOutput("rack-emulator: ready", std::chrono::seconds(10))) std::exit(1);
    }

    // rack_config.json naming the four racks.
    std::string config() const {
        const testsupport::Json config = {{dir_.file("joystick"), "joystick_rack"},
                                          {dir_.file("pedals"), "pedals_rack"},
                                          {dir_.file("efis"), "efis_rack"},
                                          {dir_.file("fcu"), "autopilot_rack"}};
        return config.dump();
    }

private:
    testsupport::TempDir dir_;
    std::unique_ptr<testsupport::ChildProcess> emulator_;
};

// Every rack's loop is running once both text racks have written to the simulator.
inline bool racksWriting(testsupport::StandinLog& log, std::chrono::milliseconds timeout) {
    const auto wrote = [&](unsigned definition) {
        return log.waitForRequest("SetDataOnSimObject",
                                  [=](const testsupport::Json& f) { return f.value("DefineID", 0u) == definition; },
                                  timeout)
            .has_value();
    };
    return wrote(2) && wrote(3);
}

}  // namespace bench
