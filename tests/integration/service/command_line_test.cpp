// The service's command line: the tools it offers the operator instead of a run, and a bad
// command line that is explained, not served.
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/process.h"
#include "tests/support/service_output.h"

namespace {

using namespace std::chrono_literals;
using namespace servicetest;

struct Finished {
    std::optional<int> code;
    std::string output;
};

Finished runProgram(const std::vector<std::string>& args) {
    testsupport::ChildProcess program({.args = args});
    const auto code = program.waitExit(10s);
    return {code, program.output()};
}

Finished runService(std::vector<std::string> args) {
    args.insert(args.begin(), testsupport::binaryPath("orvendale-fs"));
    return runProgram(args);
}

TEST(CommandLine, VersionHelpAndMistakesEndWithoutServing) {
    // The version is the banner's.
    const auto version = runService({"--version"});
    EXPECT_EQ(version.code, 0);
    const std::size_t at = kStartup.find("FS v") + 4;
    EXPECT_EQ(version.output, "orvendale-fs " + kStartup.substr(at, kStartup.find(' ', at) - at) + "\n");

    const auto help = runService({"--help"});
    EXPECT_EQ(help.code, 0);
    for (const char* option : {"--config-dir", "--check", "--list-ports", "--version"})
        EXPECT_NE(help.output.find(option), std::string::npos) << option;
    EXPECT_EQ(help.output.find("******"), std::string::npos) << "the service started";

    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--frobnicate"}, {"extra"}, {"--check", "--list-ports"}, {"--config-dir"}}) {
        const auto bad = runService(args);
        EXPECT_EQ(bad.code, 2) << args.front();
        EXPECT_EQ(bad.output.find("******"), std::string::npos) << args.front();
    }
    const auto missing = runService({"--config-dir", "/nonexistent/orvendale"});
    EXPECT_EQ(missing.code, 2);
    EXPECT_NE(missing.output.find("/nonexistent/orvendale"), std::string::npos) << missing.output;
}

// In a mount namespace of its own the test lays out /dev as a machine with boards would
// have it: by-id links first, in name order, then the devices in natural order (ttyUSB2
// before ttyUSB10), and nothing that only looks like a serial device.
TEST(CommandLine, ListPortsShowsStableNamesThenTheDevices) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root for a mount namespace of its own";
    const std::string script =
        "set -e; mount -t tmpfs none /dev; mkdir -p /dev/serial/by-id; "
        "touch /dev/ttyUSB10 /dev/ttyUSB2 /dev/ttyACM0 /dev/ttyAMA0 /dev/ttyUSBx /dev/tty0; "
        "ln -s ../../ttyACM0 /dev/serial/by-id/usb-Arduino_Mega_2560_0042-if00; "
        "ln -s ../../ttyUSB2 /dev/serial/by-id/usb-1a86_USB_Serial-if00-port0; "
        "exec " + testsupport::binaryPath("orvendale-fs") + " --list-ports";
    const auto listed = runProgram({"unshare", "--mount", "sh", "-c", script});
    ASSERT_EQ(listed.code, 0) << listed.output;
    EXPECT_EQ(listed.output,
              "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0  ->  /dev/ttyUSB2\n"
              "/dev/serial/by-id/usb-Arduino_Mega_2560_0042-if00  ->  /dev/ttyACM0\n"
              "ttyACM0  ->  /dev/ttyACM0\n"
              "ttyAMA0  ->  /dev/ttyAMA0\n"
              "ttyUSB2  ->  /dev/ttyUSB2\n"
              "ttyUSB10  ->  /dev/ttyUSB10\n");
}

}  // namespace
