#include "command_line.h"

#include <CLI/CLI.hpp>
#include <cstdio>

#include "service_version.h"

namespace {

constexpr const char* kDescription =
    "orvendale-fs joins the cockpit's serial racks (joystick, pedals, EFIS, FCU) to the\n"
    "flight simulator. It reads rack_config.json, syntax_config.txt and SimConnect.cfg\n"
    "from the folder it works in, connects to the simulator (retrying every 3 s), serves\n"
    "the racks until the simulator quits, and exits.\n\n"
    "Exit codes: 0 the simulator quit (or a tool finished and found nothing wrong),\n"
    "1 rack_config.json or the rack threads could not be used (--check: something is\n"
    "not usable), 2 a bad command line, 3 the connection to the simulator was lost.";

}  // namespace

std::optional<int> readCommandLine(int argc, const char* const* argv, ServiceOptions& options) {
    CLI::App app(kDescription, "orvendale-fs");
    app.set_version_flag("--version", std::string("orvendale-fs ") + kServiceVersion,
                         "Print the version and exit");
    app.add_option("--config-dir", options.configDir,
                   "Work in DIR as if started there (where the three files are)")
        ->type_name("DIR");
    std::optional<std::string> monitorAddress;
    app.add_option("--monitor", monitorAddress,
                   "Serve the live monitor page at [ADDRESS:]PORT (ADDRESS 127.0.0.1\n"
                   "unless given; 0.0.0.0 for every network; PORT 0 takes a free one)")
        ->type_name("[ADDRESS:]PORT")
        ->check([](const std::string& text) {
            return monitor::parseMonitorAddress(text) ? std::string()
                                                      : "not [ADDRESS:]PORT: " + text;
        });
    bool check = false;
    bool listPorts = false;
    auto* checkFlag = app.add_flag(
        "--check", check,
        "Check the files and open each rack's port, without the simulator;\n"
        "exit 0 when everything is usable, 1 otherwise");
    auto* listPortsFlag = app.add_flag(
        "--list-ports", listPorts,
        "List the serial devices present, by the names rack_config.json takes");
    checkFlag->excludes(listPortsFlag);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // Help and version go to standard output with code 0, mistakes to standard error.
        const int code = app.exit(error);
        return code == 0 ? 0 : 2;
    }
    if (monitorAddress) options.monitor = monitor::parseMonitorAddress(*monitorAddress);
    if (check) options.mode = ServiceOptions::Mode::check;
    if (listPorts) options.mode = ServiceOptions::Mode::listPorts;
    return std::nullopt;
}
