// What rack-emulator and board-sim both take on their command line: where the actions come
// from (a script, a control pipe), the log, and how long to run. One set-up of the options
// and of the parse serves both programs.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace rackemu {

struct RunOptions {
    std::string scriptPath;
    bool scriptAfterOpen = false;
    std::string controlPath;
    std::string logPath;
    std::optional<double> durationSeconds;
};

// Adds --script, --script-after-open, --control, --duration and --log, in that order.
void addRunOptions(CLI::App& app, RunOptions& options);

// Parses the command line, then runs `check`, which may throw CLI's errors too. Returns
// nothing when the program goes on, else its exit code: 0 once --help is printed, 2 once a
// bad command line is explained on standard error.
std::optional<int> parseCommandLine(CLI::App& app, int argc, const char* const* argv,
                                    const std::function<void()>& check = {});

}  // namespace rackemu
