// The whole run both service benchmarks measure: sim-standin on a pipe of the run's own and
// the service pointed at it through SimConnect.cfg, each with a home and working directory
// of its own. A stand-in that does not come up ends the benchmark.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

#include "tests/support/process.h"
#include "tests/support/standin_log.h"

namespace bench {

class ServiceRun {
public:
    ServiceRun(const std::string& tag, const std::string& rackConfig)
        : pipe_(testsupport::uniquePipeName(tag)),
          standin_(testsupport::startStandin(standinHome_, {"--pipe-name", pipe_, "--no-tcp"})) {
        if (!standin_.ready) std::exit(1);
        log_ = std::make_unique<testsupport::StandinLog>(standin_.logPath);
        work_.write("rack_config.json", rackConfig);
        work_.write("SimConnect.cfg", "[SimConnect]\nProtocol=Pipe\nPort=" + pipe_ + "\n");
        testsupport::ProcessOptions options;
        options.args = {testsupport::binaryPath("orvendale-fs")};
        options.cwd = work_.path();
        options.env = {{"HOME", home_.path()}};
        service_ = std::make_unique<testsupport::ChildProcess>(options);
    }

    testsupport::StandinLog& log() { return *log_; }
    testsupport::ChildProcess& service() { return *service_; }

private:
    testsupport::TempDir standinHome_, work_, home_;
    std::string pipe_;
    testsupport::StandinRun standin_;
    std::unique_ptr<testsupport::StandinLog> log_;
    std::unique_ptr<testsupport::ChildProcess> service_;
};

}  // namespace bench
