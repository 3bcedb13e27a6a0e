// Whole runs of the real orvendale-fs against sim-standin through a SimConnect.cfg: on TCP
// until the simulator quits, with the files in the folder given with --config-dir and the
// stand-in listening on one address alone (--listen), as a service on another machine than
// the simulator's is set up; and on a pipe and TCP until the simulator breaks the
// connection. The default pipe with no configuration at all is the demo's run
// (tests/integration/demo).
#include <gtest/gtest.h>

#include <thread>

#include "testing/loopback_peer.h"
#include "testing/proc_stats.h"
#include "testing/process.h"
#include "testing/service_output.h"
#include "testing/standin_log.h"

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
    work.write("SimConnect.cfg", tcpConfig("127.0.0.2", std::to_string(standin.endpoints.ipv4)));
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

// A quiet simulator costs the main thread few wake-ups: it sleeps until a message comes
// rather than looking every millisecond.
TEST(ServiceStandin, QuietSimulatorLetsTheMainThreadSleep) {
    testsupport::TempDir standinHome, work, home;
    const std::string pipe = loopback_peer::UniquePipeName("quiet");
    const auto standin = testsupport::startStandin(standinHome, {"--pipe-name", pipe, "--no-tcp"});
    ASSERT_TRUE(standin.ready) << standin.process->output();
    work.write("SimConnect.cfg", pipeConfig(pipe));
    work.write("rack_config.json", "{}");
    testsupport::ChildProcess service(serviceOptions(work, home));
    ASSERT_TRUE(service.waitForOutput("[OK] Connection Opened !", 10s)) << service.output();
    const auto wakeups = [&] { return testsupport::threadWakeups(service.pid()).front().second; };
    const double before = wakeups();
    const auto started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(2s);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double perSecond = (wakeups() - before) / seconds;
    RecordProperty("main_thread_wakeups_per_s", std::to_string(perSecond));
    EXPECT_LT(perSecond, 50.0);
}

// The simulator goes away without its quit message: the service says so, naming the
// endpoint and the status, closes in order and ends with 3, for a supervisor to start it
// again. Everything before that line is as in any run.
TEST(ServiceStandin, ConnectionLostWithoutQuitEndsWithThree) {
    const std::string pipe = loopback_peer::UniquePipeName("lost");
    for (const bool tcp : {false, true}) {
        testsupport::TempDir standinHome, work, home;
        const auto standin = testsupport::startStandin(
            standinHome,
            tcp ? std::vector<std::string>{"--break-after", "2", "--no-pipe"}
                : std::vector<std::string>{"--break-after", "2", "--pipe-name", pipe, "--no-tcp"});
        ASSERT_TRUE(standin.ready) << standin.process->output();
        const std::string port = std::to_string(standin.endpoints.ipv4);
        work.write("SimConnect.cfg", tcp ? tcpConfig("127.0.0.1", port) : pipeConfig(pipe));
        work.write("rack_config.json", "{}");
        testsupport::ChildProcess service(serviceOptions(work, home));
        ASSERT_EQ(service.waitExit(20s), 3) << service.output();
        const std::string lost =
            tcp ? "\n[ERR] Lost the connection to Flight Simulator at TCP 127.0.0.1:" + port +
                      ", status 0xC000013E\n"
                : "\n[ERR] Lost the connection to Flight Simulator at \\\\.\\pipe\\" + pipe +
                      ", status 0xC000014B\n";
        const std::string output = service.output();
        EXPECT_EQ(output.substr(0, (kStartup + kConnected + kLaunch).size()),
                  kStartup + kConnected + kLaunch);
        ASSERT_GE(output.size(), lost.size());
        EXPECT_EQ(output.substr(output.size() - lost.size()), lost) << output;
        EXPECT_NE(output.find("[OK] Connection Opened !\n"), std::string::npos) << output;
    }
}

}  // namespace
