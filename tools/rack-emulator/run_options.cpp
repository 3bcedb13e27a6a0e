#include "rack-emulator/run_options.h"

#include <CLI/CLI.hpp>

#include "rack-emulator/action.h"

namespace rackemu {

namespace {

const CLI::Validator kSeconds(
    [](const std::string& text) {
        try {
            parseSeconds(text);
            return std::string();
        } catch (const ActionError&) {
            return "needs seconds, not: " + text;
        }
    },
    "");

}  // namespace

void addRunOptions(CLI::App& app, RunOptions& options) {
    app.add_option("--script", options.scriptPath, "timed actions (below) from a file")
        ->type_name("FILE");
    app.add_flag("--script-after-open", options.scriptAfterOpen,
                 "the script's times count from the moment another program (the\n"
                 "service) first opens one of the racks' pseudo-terminals, instead\n"
                 "of from the start; what is sent before that open is discarded by\n"
                 "the service anyway");
    app.add_option("--control", options.controlPath,
                   "action lines while running: \"-\" for standard input, else a named\n"
                   "pipe created at PATH (removed at exit); lines run when read")
        ->type_name("PATH");
    app.add_option("--duration", options.durationSeconds, "end the run after this time")
        ->type_name("SECONDS")
        ->check(kSeconds);
    app.add_option("--log", options.logPath,
                   "JSON-lines log of everything sent and received (below)")
        ->type_name("FILE");
}

std::optional<int> parseCommandLine(CLI::App& app, int argc, const char* const* argv,
                                    const std::function<void()>& check) {
    try {
        app.parse(argc, argv);
        if (check) check();
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : 2;
    }
    return std::nullopt;
}

}  // namespace rackemu
