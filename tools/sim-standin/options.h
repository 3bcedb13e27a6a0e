// The stand-in's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/sim-standin/recv_messages.h"

namespace standin {

constexpr const char* kDefaultPipePath = "\\\\.\\pipe\\Microsoft Flight Simulator\\SimConnect";

struct Options {
    std::optional<std::string> pipePath = std::string(kDefaultPipePath);  // empty: --no-pipe
    bool tcp = true;
    std::uint16_t tcpPort = 0;
    OpenAnswer openAnswer;
    bool noOpenAnswer = false;
    std::vector<std::string> rejectNames;
    std::optional<double> quitAfter;
    std::optional<double> breakAfter;
    bool breakMidMessage = false;
    std::optional<double> stopReadingAfter;
    std::string scriptFile;
    std::string logFile;
    enum class FlightStart { Now, Script, At } flightStart = FlightStart::Now;
    double flightStartAt = 0;
    bool help = false;
};

struct ParsedOptions {
    Options options;
    std::string error;  // empty when the command line is sound
};

// `args` excludes the program name. Options take their value as the next argument or
// after '=' (--tcp-port=5000).
ParsedOptions parseOptions(const std::vector<std::string>& args);

}  // namespace standin
