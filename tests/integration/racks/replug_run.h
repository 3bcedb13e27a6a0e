// A run in which racks' boards are unplugged and plugged back: the stand-in, the service,
// and the boards (rack-emulator, or board-sim with the firmware) as programs of their own
// that can end and start again, with their links always at the same paths, as
// /dev/serial/by-id gives a board's device.
#pragma once

#include <signal.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/integration/racks/rack_run.h"

namespace racktest {

using Clock = std::chrono::steady_clock;

// How often `part` occurs in `text` from `from` on.
inline std::size_t countFrom(const std::string& text, const std::string& part, std::size_t from) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part, from); at != std::string::npos;
         at = text.find(part, at + 1))
        ++count;
    return count;
}

class ReplugRun {
public:
    ReplugRun() {
        standin_ = testsupport::startStandin(standinHome_, {"--pipe-name", pipe_, "--no-tcp"});
        work_.write("SimConnect.cfg", servicetest::pipeConfig(pipe_));
    }
    ~ReplugRun() {
        if (standin_.process) standin_.process->signal(SIGTERM);
        if (service_) service_->waitExit(10s);
    }

    std::string link(const std::string& rack) const { return links_.file(rack); }
    std::string port(const std::string& rack) const { return "\\\\.\\" + link(rack); }

    // The boards of `racks` plugged in: a program of their own (`program`: its name, then
    // its own options), its log in `log`.
    std::unique_ptr<testsupport::ChildProcess> plug(const std::vector<std::string>& racks,
                                                    const std::string& log,
                                                    const std::vector<std::string>& program = {
                                                        "rack-emulator"}) {
        testsupport::ProcessOptions options{{testsupport::binaryPath(program.front()), "--log",
                                             links_.file(log), "--control",
                                             links_.file(log + ".control")}};
        options.args.insert(options.args.end(), program.begin() + 1, program.end());
        for (const std::string& rack : racks)
            options.args.insert(options.args.end(), {"--" + rack, link(rack)});
        auto emulator = std::make_unique<testsupport::ChildProcess>(options);
        EXPECT_TRUE(emulator->waitForOutput(program.front() + ": ready", 10s))
            << emulator->output();
        return emulator;
    }
    // Unplugged: the program ends, and its pseudo-terminals and links go with it.
    static void unplug(std::unique_ptr<testsupport::ChildProcess>& emulator) {
        emulator->signal(SIGTERM);
        EXPECT_EQ(emulator->waitExit(10s), 0);
        emulator.reset();
    }
    void startService(const std::string& config) {
        work_.write("rack_config.json", config);
        service_ =
            std::make_unique<testsupport::ChildProcess>(servicetest::serviceOptions(work_, home_));
    }
    bool act(const std::string& log, const std::string& lines) {
        return testsupport::sendRackActions(links_.file(log + ".control"), lines);
    }

    testsupport::ChildProcess& service() { return *service_; }
    testsupport::StandinLog& sim() { return simLog_; }
    std::string logPath(const std::string& log) const { return links_.file(log); }
    bool ready() const { return standin_.ready; }

private:
    testsupport::TempDir standinHome_, links_, work_, home_;
    std::string pipe_ = loopback_peer::UniquePipeName("replug");
    testsupport::StandinRun standin_;
    std::unique_ptr<testsupport::ChildProcess> service_;
    testsupport::StandinLog simLog_{standinHome_.file("standin.jsonl")};
};

// Whether the pedals' rudder reached the simulator from log entry `from` on (with `value`,
// when one is given), within 10 s.
inline bool rudderWritten(testsupport::StandinLog& sim, std::size_t from,
                          std::optional<double> value = {}) {
    return sim
        .waitForRequest(
            "SetDataOnSimObject",
            [=](const Json& f) {
                return f.value("DefineID", 0u) == 3 && f.contains("values") &&
                       (!value || f["values"].value("RUDDER POSITION", -1.0) == *value);
            },
            10s, from)
        .has_value();
}

}  // namespace racktest
