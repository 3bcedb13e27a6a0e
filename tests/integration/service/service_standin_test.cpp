// Whole runs: the real orvendale-fs against sim-standin, on the default pipe with no
// configuration at all, and on TCP through a SimConnect.cfg in its working directory.
#include <gtest/gtest.h>

#include "tests/support/service_output.h"
#include "tests/support/process.h"
#include "tests/support/standin_log.h"

namespace {

using namespace std::chrono_literals;
using namespace servicetest;

const std::vector<std::string> kOpenAnswer = {
    "--app-name",           "StandinSim", "--app-version", "1.2.3.4",
    "--simconnect-version", "5.6.7.8",    "--quit-after",  "3"};
const std::string kBanner =
    "[OK] Connection Opened !\n==== [INFO] ====\n"
    "\tApp name: StandinSim\n\tApp Major Vrs: 1\n\tApp Minor Vrs: 2\n"
    "\tApp Build Major: 3\n\tApp Build Minor: 4\n"
    "\tSim Connect Version Major: 5\n\tSim Connect Version Minor: 6\n"
    "\tSim Connect Build Major: 7\n\tSim Connect Build Minor: 8\n";

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Runs the service until the stand-in quits, then checks what both sides saw: the whole
// console output, and a simulator that accepted every declaration.
void runAgainstStandin(const testsupport::StandinRun& standin, const testsupport::TempDir& work,
                       const std::string& endpoint) {
    ASSERT_TRUE(standin.ready) << standin.process->output();
    testsupport::TempDir home;
    work.write("rack_config.json", "{}");
    testsupport::ChildProcess service(serviceOptions(work, home));
    ASSERT_EQ(service.waitExit(20s), 0) << service.output();
    EXPECT_EQ(service.output(), kStartup + kConnected + kLaunch + kBanner + kQuit);

    testsupport::StandinLog log(standin.logPath);
    const auto connected = log.waitForEvent("connect", 5s);
    ASSERT_TRUE(connected.has_value());
    EXPECT_EQ(connected->value("endpoint", ""), endpoint);
    // Every declaration (service_wire_test checks them one by one) was accepted.
    EXPECT_EQ(log.requests("MapClientEventToSimEvent").size(), 30u);
    for (const auto& entry : log.entries())
        EXPECT_FALSE(entry.contains("exception")) << entry.dump();
}

TEST(ServiceStandin, DefaultPipeWithNoConfiguration) {
    testsupport::TempDir standinHome;
    testsupport::TempDir work;
    const auto standin = testsupport::startStandin(standinHome, with(kOpenAnswer, {"--no-tcp"}));
    runAgainstStandin(standin, work, "pipe");
}

TEST(ServiceStandin, TcpThroughSimConnectCfg) {
    testsupport::TempDir standinHome;
    testsupport::TempDir work;
    const auto standin = testsupport::startStandin(standinHome, with(kOpenAnswer, {"--no-pipe"}));
    ASSERT_GT(standin.endpoints.ipv4, 0) << standin.process->output();
    work.write("SimConnect.cfg", "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" +
                                     std::to_string(standin.endpoints.ipv4) + "\n");
    runAgainstStandin(standin, work, "ipv4");
}

}  // namespace
