// The service's command line. With no argument the service runs as it always has; the
// options choose the folder it works in, or one of the operator's tools instead of the run.
#pragma once

#include <optional>
#include <string>

#include "monitor/monitor_server.h"

struct ServiceOptions {
    enum class Mode { serve, check, listPorts };
    Mode mode = Mode::serve;
    // The folder the service works in, as if it had been started there.
    std::optional<std::string> configDir;
    // Where the monitor page is served, "[ADDRESS:]PORT"; none serves no page.
    std::optional<monitor::MonitorAddress> monitor;
};

// Reads the command line into `options`. When the program ends here, returns its exit
// code: 0 once --help or --version is printed, 2 once a bad command line is explained on
// standard error.
std::optional<int> readCommandLine(int argc, const char* const* argv, ServiceOptions& options);
