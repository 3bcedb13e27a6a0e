// What orvendale-fs prints, and how the tests start it.
#pragma once

#include <string>

#include "testing/process.h"

namespace servicetest {

inline const std::string kStartup =
    "18 fc \n-1000\n15.132768\n1\n0\n4\n"
    "\n******************\n\nOrvendale Projects FS v0.27 \n\n******************\n";
inline const std::string kRetry =
    "\n[ERR] NOT Connected to Flight Simulator! :(\nRetry in 3 secs...\n";
inline const std::string kConnected = "\nConnected to Flight Simulator! :)\n";
inline const std::string kLaunch = "\nLaunch a flight.\n";
inline const std::string kQuit = "[OK] Quit, Bye !!\n";

// The service in `work` with `home` as its HOME, where the client library looks for the
// simulator's registry file and the Documents folder.
inline testsupport::ProcessOptions serviceOptions(const testsupport::TempDir& work,
                                                  const testsupport::TempDir& home,
                                                  const std::string& program = testsupport::binaryPath("orvendale-fs")) {
    return {.args = {program}, .cwd = work.path(), .env = {{"HOME", home.path()}}};
}

// A SimConnect.cfg that sends the client library to the pipe `pipeName`.
inline std::string pipeConfig(const std::string& pipeName) {
    return "[SimConnect]\nProtocol=Pipe\nPort=" + pipeName + "\n";
}

// A SimConnect.cfg that sends the client library over TCP (IPv4) to `address`:`port`.
inline std::string tcpConfig(const std::string& address, const std::string& port) {
    return "[SimConnect]\nProtocol=IPv4\nAddress=" + address + "\nPort=" + port + "\n";
}

}  // namespace servicetest
