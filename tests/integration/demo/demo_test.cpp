// scripts/demo run whole with a short flight and this build's programs: the summary tells
// what each rack did, the service exits 0, and nothing the demo started is left behind,
// also after Ctrl-C; with the monitor page, the cockpit stays up until Ctrl-C.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "testing/http_client.h"
#include "testing/process.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto npos = std::string::npos;

// The demo makes its working folder under TMPDIR, so the test's own folder holds it.
testsupport::ProcessOptions demoOptions(const testsupport::TempDir& tmp) {
    testsupport::ProcessOptions options;
    options.args = {DEMO_SCRIPT, "--no-build",      "--bin-dir", ORVENDALE_BIN_DIR,
                    "--script",  DEMO_SHORT_FLIGHT};
    options.env = {{"TMPDIR", tmp.path()}};
    return options;
}

// The summary's block of one rack: from its heading line to the blank line after it.
std::string rackBlock(const std::string& output, const std::string& rack) {
    const std::size_t start = output.find("\n" + rack + " on ");
    if (start == npos) return "";
    const std::size_t end = output.find("\n\n", start + 1);
    return output.substr(start + 1, end == npos ? npos : end - start - 1);
}

// Processes whose working folder or command line lies under `folder`: every program the
// demo starts has one or the other there.
std::vector<std::string> processesUnder(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code error;
    for (fs::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
        std::error_code ignored;
        const std::string cwd = fs::read_symlink(it->path() / "cwd", ignored).string();
        std::ifstream in(it->path() / "cmdline");
        const std::string cmdline(std::istreambuf_iterator<char>(in), {});
        if (cwd.rfind(folder, 0) == 0 || cmdline.find(folder) != npos)
            found.push_back(it->path().filename().string() + ": " + cmdline);
    }
    return found;
}

void expectNothingLeft(const testsupport::TempDir& tmp) {
    EXPECT_TRUE(fs::is_empty(tmp.path())) << "the working folder is still there";
    for (const std::string& process : processesUnder(tmp.path()))
        ADD_FAILURE() << "left running: " << process;
}

void expectHas(const std::string& text, const std::string& part) {
    EXPECT_NE(text.find(part), npos) << "no \"" << part << "\" in:\n" << text;
}

TEST(Demo, ShortFlightEndsWithTheServiceExitingAndASummary) {
    testsupport::TempDir tmp;
    testsupport::ChildProcess demo(demoOptions(tmp));
    const auto status = demo.waitExit(120s);
    const std::string out = demo.output();
    ASSERT_EQ(status, 0) << out;

    // The service's console and the panels' displays, as they ran.
    for (const char* rack : {"joystick_rack", "pedals_rack", "efis_rack", "autopilot_rack"})
        expectHas(out, std::string("[OK] Rack: ") + rack + " Connected on Port: \\\\.\\");
    // The three programs share the console; each of the service's lines is one write.
    expectHas(out, "\n[OK] Quit, Bye !!\n");
    expectHas(out, "\nefis: BARO 1016  QFE  FD [OFF]");
    expectHas(out, "\nfcu: SPD 255*");

    expectHas(out, "the simulator rejected none");
    expectHas(out, "the service's session closed (quit)");
    const std::string joystick = rackBlock(out, "joystick_rack");
    expectHas(joystick, "AILERON POSITION -4.5 percent (moved from -4.5 to 20.5)");
    expectHas(joystick, "SPOILERS_INC x25");
    expectHas(joystick, "AP_MASTER x1");
    const std::string pedals = rackBlock(out, "pedals_rack");
    expectHas(pedals, "RUDDER POSITION 1200 position 16K");
    // The brake's 12.7 reaches the simulator as 12, left brake before right.
    expectHas(pedals, "AXIS_LEFT_BRAKE_SET x");
    expectHas(pedals, "(last data 12),");
    const std::string efis = rackBlock(out, "efis_rack");
    expectHas(efis, "KOHLSMAN_INC x3, TOGGLE_FLIGHT_DIRECTOR x1");
    expectHas(efis, "last display      BARO 1016  QFE  FD [OFF]  LS [OFF]  OPT 0");
    const std::string fcu = rackBlock(out, "autopilot_rack");
    expectHas(fcu, "AP_SPD_VAR_INC x5, AP_MASTER x1");
    // The joystick's AP button turned AP1 on, the FCU's turned it off again.
    const std::string lastLine = "\n  last display      SPD 255*  HDG ---*  ALT 10000*  V/S ----";
    EXPECT_EQ(fcu.substr(fcu.size() - std::min(fcu.size(), lastLine.size())), lastLine) << fcu;
    expectHas(out, "demo: the service exited with code 0 after the simulator quit\n");

    expectNothingLeft(tmp);
}

// Ctrl-C reaches the terminal's whole process group: the demo and all it started. The
// stand-in quits on it, so the service still ends through the simulator's quit. It comes
// once the flight is under way (a panel shows its display): a stand-in that quits before
// it has read the service's first requests can lose its quit on the way.
TEST(Demo, CtrlCStopsEverythingItStarted) {
    testsupport::TempDir tmp;
    testsupport::ChildProcess demo(demoOptions(tmp));
    ASSERT_TRUE(demo.waitForOutput("\nefis: BARO", 60s)) << demo.output();
    ASSERT_EQ(kill(-demo.pid(), SIGINT), 0);
    EXPECT_EQ(demo.waitExit(60s), 130) << demo.output();
    expectHas(demo.output(), "demo: interrupted\n");
    expectHas(demo.output(), "\n[OK] Quit, Bye !!\n");
    expectNothingLeft(tmp);
}

// With --monitor the page is served during the flight and after it, the racks still
// sending, until Ctrl-C, which ends the run as a flight ends: the simulator quits, the
// service exits 0, the summary follows.
TEST(Demo, WithTheMonitorTheCockpitStaysUpUntilCtrlC) {
    // A port free a moment ago, for the demo to hand to the service.
    std::uint16_t port = 0;
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
        port = ntohs(address.sin_port);
        ::close(fd);
    }
    testsupport::TempDir tmp;
    testsupport::ProcessOptions options = demoOptions(tmp);
    options.args.push_back("--monitor=" + std::to_string(port));
    testsupport::ChildProcess demo(options);
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
    ASSERT_TRUE(demo.waitForOutput("demo: the monitor page: " + url, 60s)) << demo.output();
    ASSERT_TRUE(demo.waitForOutput("the page stays at " + url + " until Ctrl-C", 60s)) << demo.output();

    const auto framesTaken = [&] {
        const auto state = nlohmann::json::parse(monitortest::bodyOf(monitortest::get(port, "/api/state")),
                                                 nullptr, false);
        return state.is_discarded() ? -1 : state["racks"]["autopilot_rack"].value("good", -1);
    };
    const int first = framesTaken();
    EXPECT_GT(first, 0);
    EXPECT_TRUE(testsupport::waitUntil([&] { return framesTaken() > first; }, 5s, 100ms))
        << "the FCU rack no longer sends after the flight";

    ASSERT_EQ(kill(-demo.pid(), SIGINT), 0);
    EXPECT_EQ(demo.waitExit(60s), 0) << demo.output();
    expectHas(demo.output(), "\n[OK] Quit, Bye !!\n");
    expectHas(demo.output(), "demo: the service exited with code 0 after the simulator quit\n");
    expectNothingLeft(tmp);
}

}  // namespace
