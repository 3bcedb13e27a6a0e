// The stand-in's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim-standin/protocol/recv_messages.h"

namespace standin {

constexpr const char* kDefaultPipePath = "\\\\.\\pipe\\Microsoft Flight Simulator\\SimConnect";

struct Options {
    std::optional<std::string> pipePath = std::string(kDefaultPipePath);  // empty: --no-pipe
    bool tcp = true;
    std::uint16_t tcpPort = 0;
    std::optional<std::string> listenAddress;  // TCP on this address alone
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
};

// Reads the command line into `options`. When the program ends here, returns its exit
// code: 0 once --help is printed, 2 once a bad command line is explained on stderr.
std::optional<int> readCommandLine(int argc, const char* const* argv, Options& options);

}  // namespace standin
