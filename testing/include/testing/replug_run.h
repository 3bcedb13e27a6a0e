// Racks' boards that can be unplugged and plugged back during a run (RackRun gives the
// stand-in and the service): the boards are a program of their own (rack-emulator, or
// board-sim with the firmware) that can end and start again, with their links always at
// the same paths, as /dev/serial/by-id gives a board's device.
#pragma once

#include <signal.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "testing/rack_run.h"

namespace racktest {

class Boards {
public:
    std::string link(const std::string& rack) const { return links_.file(rack); }
    std::string port(const std::string& rack) const { return "\\\\.\\" + link(rack); }
    std::string logPath(const std::string& log) const { return links_.file(log); }

    // The boards of `racks` plugged in: a program of their own (`program`: its name, then
    // its own options), its log in `log`.
    std::unique_ptr<testsupport::ChildProcess> plug(const std::vector<std::string>& racks, const std::string& log,
                                                    const std::vector<std::string>& program = {"rack-emulator"}) {
        testsupport::ProcessOptions options{{testsupport::binaryPath(program.front()), "--log", logPath(log),
                                             "--control", logPath(log + ".control")}};
        options.args.insert(options.args.end(), program.begin() + 1, program.end());
        for (const std::string& rack : racks) options.args.insert(options.args.end(), {"--" + rack, link(rack)});
        auto boards = std::make_unique<testsupport::ChildProcess>(options);
        EXPECT_TRUE(boards->waitForOutput(program.front() + ": ready", 10s)) << boards->output();
        return boards;
    }
    // Unplugged: the program ends, and its pseudo-terminals and links go with it.
    static void unplug(std::unique_ptr<testsupport::ChildProcess>& boards) {
        boards->signal(SIGTERM);
        EXPECT_EQ(boards->waitExit(10s), 0);
        boards.reset();
    }
    bool act(const std::string& log, const std::string& lines) const {
        return testsupport::sendRackActions(logPath(log + ".control"), lines);
    }

private:
    testsupport::TempDir links_;
};

// How often `part` occurs in `text` from `from` on.
inline std::size_t countFrom(const std::string& text, const std::string& part, std::size_t from) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part, from); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// Whether the pedals' rudder reached the simulator from log entry `from` on (with `value`,
// when one is given), within 10 s.
inline bool rudderWritten(testsupport::StandinLog& sim, std::size_t from, std::optional<double> value = {}) {
    return sim.waitForRequest(
                  "SetDataOnSimObject",
                  [=](const Json& f) {
                      return f.value("DefineID", 0u) == 3 && f.contains("values") &&
                             (!value || f["values"].value("RUDDER POSITION", -1.0) == *value);
                  },
                  10s, from)
        .has_value();
}

}  // namespace racktest
