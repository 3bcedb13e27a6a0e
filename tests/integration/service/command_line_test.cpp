// The service's command line: the tools it offers the operator instead of a run, and a bad
// command line that is explained, not served.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "testing/process.h"
#include "testing/pty.h"
#include "testing/service_output.h"

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

// Each line of `expected` is somewhere in `output`, in this order.
void expectLinesInOrder(const std::string& output, const std::vector<std::string>& expected) {
    std::size_t at = 0;
    for (const std::string& line : expected) {
        const std::size_t found = output.find("\n" + line + "\n", at);
        ASSERT_NE(found, std::string::npos) << "no line \"" << line << "\" after byte " << at << " in:\n" << output;
        at = found + line.size() + 1;
    }
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

// A configuration that works, read from the folder --config-dir names while the program
// runs elsewhere: the rack's port opens (and is closed again), the delimiters and the
// simulator's endpoint are as written, and nothing is created or served.
TEST(CommandLine, CheckReportsAUsableConfiguration) {
    testsupport::TempDir work, elsewhere;
    testsupport::Pty efis;
    work.write("rack_config.json", "{\"" + efis.slavePath() + "\": \"efis_rack\", \"COM9\": \"radio_rack\"}");
    work.write("syntax_config.txt", "json < >\n");
    work.write("SimConnect.cfg", "[SimConnect]\nProtocol=IPv4\nAddress=192.168.1.20\nPort=500\n");
    testsupport::ChildProcess check({.args = {testsupport::binaryPath("orvendale-fs"), "--config-dir",
                                              work.path(), "--check"},
                                     .cwd = elsewhere.path(),
                                     .env = {{"HOME", elsewhere.path()}}});
    ASSERT_EQ(check.waitExit(10s), 0) << check.output();
    expectLinesInOrder("\n" + check.output(),
                       {"Checking the configuration in " + work.path(), "rack_config.json: 2 members",
                        "  " + efis.slavePath() + ": efis_rack, port \\\\.\\" + efis.slavePath() + " opens",
                        "  COM9: \"radio_rack\" is known, and served by nothing",
                        "syntax_config.txt: the json set, messages from '<' to '>'",
                        "  " + work.file("SimConnect.cfg") + ": read",
                        "The simulator, tried in this order:", "  1. TCP 192.168.1.20:500",
                        "Everything is usable."});
    EXPECT_EQ(check.output().find("******"), std::string::npos) << "the service started";
    // The port was given back: another program can take it at once.
    EXPECT_EQ(testsupport::ChildProcess({.args = {testsupport::binaryPath("orvendale-fs"), "--config-dir",
                                                  work.path(), "--check"}})
                  .waitExit(10s),
              0);
}

// The mistakes a builder makes, each named, and exit code 1: a rack's name misspelt, a
// port that is not there, a rack named twice, delimiters without the json set, and a
// TCP endpoint without a port. A broken rack_config.json is said as the service says it.
TEST(CommandLine, CheckNamesEveryProblem) {
    testsupport::TempDir work;
    testsupport::Pty first, second;
    work.write("rack_config.json", "{\"" + first.slavePath() + "\": \"autopilot_rack\", \"" +
                                       second.slavePath() + "\": \"autopilot_rack\", "
                                       "\"ttyUSB97\": \"pedals_rack\", \"ttyUSB98\": \"joystik_rack\"}");
    work.write("syntax_config.txt", "xml < >\n");
    work.write("SimConnect.cfg", "[SimConnect]\nProtocol=IPv4\nAddress=192.168.1.20\n");
    const auto bad = runService({"--config-dir", work.path(), "--check"});
    EXPECT_EQ(bad.code, 1) << bad.output;
    expectLinesInOrder("\n" + bad.output,
                       {"  " + first.slavePath() + ": autopilot_rack, port \\\\.\\" + first.slavePath() + " opens",
                        "  " + second.slavePath() + ": autopilot_rack, port \\\\.\\" + second.slavePath() +
                            " opens; but autopilot_rack is already on " + first.slavePath() + ", which alone is served",
                        "  ttyUSB97: pedals_rack, port \\\\.\\ttyUSB97 does not open: No such file or directory",
                        "  ttyUSB98: \"joystik_rack\" is not a rack's name (joystick_rack, pedals_rack, efis_rack, autopilot_rack)",
                        "syntax_config.txt: has no json set: the joystick's and pedals' messages would be cut at spaces",
                        "  1. TCP 192.168.1.20:(no port): skipped",
                        "5 problems: the service would not serve everything as configured."});
    EXPECT_EQ(work.read("syntax_config.txt"), "xml < >\n");

    work.write("rack_config.json", "{\"COM3\": \"joystick_rack\",}");
    std::filesystem::remove(work.file("syntax_config.txt"));
    const auto broken = runService({"--config-dir", work.path(), "--check"});
    EXPECT_EQ(broken.code, 1) << broken.output;
    EXPECT_NE(broken.output.find("rack_config.json: cannot be used: [json.exception.parse_error.101]"),
              std::string::npos) << broken.output;
    EXPECT_NE(broken.output.find("syntax_config.txt: missing: the service will write it"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(work.file("syntax_config.txt"))) << "a check creates nothing";
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
