// The simulator's PC behind a network that fails silently, in a network namespace of the
// test's own (root only, as in CI): a simulator that drops off the network ends the
// service within about 30 s, and one whose firewall drops the connect gives the retry line
// after about 5 s instead of after the system's minutes.
#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "testing/process.h"
#include "testing/service_output.h"
#include "testing/standin_log.h"

namespace {

using namespace std::chrono_literals;
using namespace servicetest;
using Clock = std::chrono::steady_clock;

// Runs `ip` with `args`; true when it succeeded.
bool ip(const std::vector<std::string>& args) {
    testsupport::ProcessOptions options{{"ip"}};
    options.args.insert(options.args.end(), args.begin(), args.end());
    testsupport::ChildProcess command(options);
    const bool done = command.waitExit(5s) == 0;
    if (!done) std::fprintf(stderr, "ip failed: %s\n", command.output().c_str());
    return done;
}

// Every case runs in a new network namespace of this process, with its own loopback.
class SilentNetwork : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "needs root to make a network namespace of its own";
        if (unshare(CLONE_NEWNET) != 0)
            GTEST_SKIP() << "cannot make a network namespace: " << std::strerror(errno);
        ASSERT_TRUE(ip({"link", "set", "lo", "up"}));
    }

    testsupport::TempDir standinHome, work, home, racks;
};

// Connected over TCP with a pedals rack streaming, the network goes: nothing is refused or
// closed, packets simply vanish. The service's requests go unanswered and so do its
// keep-alive probes; it says the connection is lost and ends with 3.
TEST_F(SilentNetwork, SimulatorThatDropsOffTheNetworkEndsTheService) {
    const auto standin = testsupport::startStandin(standinHome, {"--no-pipe"});
    ASSERT_TRUE(standin.ready) << standin.process->output();
    const std::string port = std::to_string(standin.endpoints.ipv4);
    testsupport::ChildProcess pedals(
        {{testsupport::binaryPath("rack-emulator"), "--pedals", racks.file("pedals")}});
    ASSERT_TRUE(pedals.waitForOutput("rack-emulator: ready", 10s)) << pedals.output();
    work.write("SimConnect.cfg", tcpConfig("127.0.0.1", port));
    work.write("rack_config.json", "{\"" + racks.file("pedals") + "\": \"pedals_rack\"}");
    testsupport::ChildProcess service(serviceOptions(work, home));
    testsupport::StandinLog log(standin.logPath);
    ASSERT_TRUE(log.waitForRequest("SetDataOnSimObject", nullptr, 15s)) << service.output();

    ASSERT_TRUE(ip({"link", "set", "lo", "down"}));
    const auto cut = Clock::now();
    const auto code = service.waitExit(45s);
    const double seconds = std::chrono::duration<double>(Clock::now() - cut).count();
    ASSERT_EQ(code, 3) << service.output();
    RecordProperty("seconds_to_exit", std::to_string(seconds));
    std::printf("the service ended %.1f s after the network went\n", seconds);
    EXPECT_LT(seconds, 35.0);
    EXPECT_NE(
        service.output().find("\n[ERR] Lost the connection to Flight Simulator at TCP 127.0.0.1:" +
                              port + ", status 0x"),
        std::string::npos)
        << service.output();
}

// The simulator's address is reachable but every packet to it vanishes, as behind a
// firewall that drops what it refuses: each connect gives up after 5 s, so the retry
// line comes every 8 s or so.
TEST_F(SilentNetwork, FirewallThatDropsTheConnectGivesTheRetryLineSoon) {
    // A link whose far end is down: what goes out on it is lost without a word.
    ASSERT_TRUE(ip({"link", "add", "v0", "type", "veth", "peer", "name", "v1"}));
    ASSERT_TRUE(ip({"addr", "add", "10.77.0.1/24", "dev", "v0"}));
    ASSERT_TRUE(ip({"link", "set", "v0", "up"}));
    ASSERT_TRUE(ip({"neigh", "add", "10.77.0.2", "lladdr", "02:00:00:00:00:02", "dev", "v0", "nud",
                    "permanent"}));
    work.write("SimConnect.cfg", tcpConfig("10.77.0.2", "500"));
    const auto started = Clock::now();
    testsupport::ChildProcess service(serviceOptions(work, home));
    ASSERT_TRUE(service.waitForOutput(kRetry, 15s)) << service.output();
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    RecordProperty("seconds_to_retry_line", std::to_string(seconds));
    EXPECT_GT(seconds, 4.5);
    EXPECT_LT(seconds, 8.0);
    EXPECT_EQ(service.output(), kStartup + kRetry);
}

}  // namespace
