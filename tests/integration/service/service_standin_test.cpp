// A whole run of the real orvendale-fs against sim-standin on TCP, through a SimConnect.cfg
// in the folder given with --config-dir, as a service on another machine than the
// simulator's is set up: the stand-in listens on one address alone (--listen). The default
// pipe with no configuration at all is the demo's run (tests/integration/demo).
#include <gtest/gtest.h>

#include "tests/support/process.h"
#include "tests/support/service_output.h"
#include "tests/support/standin_log.h"

namespace {

using namespace std::chrono_literals;
using namespace servicetest;

// Runs the service until the stand-in quits, then checks what both sides saw: the whole
// console output with the open answer's fields (the same bytes as a service started in its
// folder), and a simulator that accepted every declaration.
TEST(ServiceStandin, TcpToOneAddressThroughTheConfigDirsSimConnectCfg) {
    testsupport::TempDir standinHome, work, home, elsewhere;
    // Any 127.x.y.z is this machine, and no default listener of the stand-in's is there.
    const auto standin = testsupport::startStandin(
        standinHome, {"--app-name", "StandinSim", "--app-version", "1.2.3.4", "--simconnect-version", "5.6.7.8",
                      "--quit-after", "3", "--no-pipe", "--listen", "127.0.0.2"});
    ASSERT_TRUE(standin.ready && standin.endpoints.ipv4 > 0) << standin.process->output();
    EXPECT_EQ(standin.endpoints.ipv6, 0);
    work.write("SimConnect.cfg", "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.2\nPort=" +
                                     std::to_string(standin.endpoints.ipv4) + "\n");
    work.write("rack_config.json", "{}");
    testsupport::ProcessOptions options = serviceOptions(elsewhere, home);
    options.args.insert(options.args.end(), {"--config-dir", work.path()});
    testsupport::ChildProcess service(options);
    ASSERT_EQ(service.waitExit(20s), 0) << service.output();
    EXPECT_EQ(service.output(), kStartup + kConnected + kLaunch +
                                    "[OK] Connection Opened !\n==== [INFO] ====\n"
                                    "\tApp name: StandinSim\n\tApp Major Vrs: 1\n\tApp Minor Vrs: 2\n"
                                    "\tApp Build Major: 3\n\tApp Build Minor: 4\n"
                                    "\tSim Connect Version Major: 5\n\tSim Connect Version Minor: 6\n"
                                    "\tSim Connect Build Major: 7\n\tSim Connect Build Minor: 8\n" +
                                    kQuit);

    testsupport::StandinLog log(standin.logPath);
    const auto connected = log.waitForEvent("connect", 5s);
    ASSERT_TRUE(connected.has_value());
    EXPECT_EQ(connected->value("endpoint", ""), "ipv4");
    // Every declaration (service_wire_test checks them one by one) was accepted.
    EXPECT_EQ(log.requests("MapClientEventToSimEvent").size(), 30u);
    for (const auto& entry : log.entries()) EXPECT_FALSE(entry.contains("exception")) << entry.dump();
}

}  // namespace
