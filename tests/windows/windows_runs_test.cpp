// Whole runs of the Windows build under Wine, driven from Linux: the Windows service and
// the Windows stand-in under one Wine prefix, and the four racks of rack-emulator on
// pseudo-terminals that the prefix's COM ports (dosdevices/com3 to com6) lead to. One run
// finds the stand-in on the default named pipe; in the other the stand-in offers no pipe
// and the service falls back to TCP through the ports published in Wine's registry.
#include <gtest/gtest.h>
#include <signal.h>

#include <memory>

#include "tests/support/rack_log.h"
#include "tests/support/standin_log.h"
#include "tests/windows/wine_programs.h"

namespace {

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using testsupport::Json;
using testsupport::memberIs;
using namespace winetest;

// Wine starts slowly, and a first run may still be making the prefix.
constexpr auto kStartLimit = 60s;
constexpr auto kStepLimit = 15s;

class WindowsRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (kWindowsBin.empty())
            GTEST_SKIP() << kWindowsBinVariable << " names no Windows build (scripts/test sets it)";
        ASSERT_TRUE(fs::exists(windowsProgram("orvendale-fs")) &&
                    fs::exists(windowsProgram("sim-standin")))
            << "no Windows build in " << kWindowsBin << " (scripts/build-windows)";
    }

    std::unique_ptr<ChildProcess> startWindows(const std::string& program,
                                               const std::vector<std::string>& args) {
        return std::make_unique<ChildProcess>(
            wineOptions(windowsProgram(program), args, work.path()));
    }

    // The racks first, so that their devices exist when the prefix's links are made; then
    // the stand-in with `standinArgs`, and the service `exe` with the four racks on COM3 to
    // COM6 (in the work folder's rack_config.json, written when it has none).
    void start(const std::vector<std::string>& standinArgs,
               const std::string& exe = windowsProgram("orvendale-fs")) {
        racks = std::make_unique<ChildProcess>(testsupport::ProcessOptions{
            {testsupport::binaryPath("rack-emulator"), "--joystick", "--pedals", "--efis", "--fcu",
             "--control", work.file("control"), "--log", work.file("racks.jsonl")}});
        const auto devices = rackLog.waitForDevices(kStepLimit);
        ASSERT_EQ(devices.size(), 4u) << racks->output();
        std::vector<std::string> args = {"--log", work.file("standin.jsonl")};
        args.insert(args.end(), standinArgs.begin(), standinArgs.end());
        standin = startWindows("sim-standin", args);
        ASSERT_TRUE(log.waitForListening(kStartLimit)) << standin->output();

        links = std::make_unique<ComLinks>(devices);
        if (!fs::exists(work.file("rack_config.json")))
            work.write("rack_config.json",
                       R"({"COM3": "joystick_rack", "COM4": "pedals_rack", "COM5": "efis_rack",)"
                       R"( "COM6": "autopilot_rack"})");
        service = std::make_unique<ChildProcess>(wineOptions(exe, {}, work.path()));
        ASSERT_TRUE(testsupport::waitUntil([&] { return contains(*service, "[OK] Connection Opened !"); },
                                           kStartLimit))
            << lines(*service);
        for (const auto& [com, rack] : {std::pair{"COM3", "joystick"}, {"COM4", "pedals"}, {"COM5", "efis"},
                                        {"COM6", "autopilot"}}) {
            const std::string line =
                std::string("[OK] Rack: ") + rack + "_rack Connected on Port: \\\\.\\" + com;
            EXPECT_TRUE(contains(*service, line)) << line << "\n" << lines(*service);
        }
    }

    void act(const std::string& actions) {
        ASSERT_TRUE(testsupport::sendRackActions(work.file("control"), actions));
    }
    bool transmitted(const std::string& event, std::size_t from) {
        return log.waitForRequest("TransmitClientEvent", memberIs("event", event), kStepLimit, from)
            .has_value();
    }

    // One scenario per rack, then the simulator quits (Ctrl+C for the stand-in): the
    // service says goodbye and ends with 0.
    void serveAllRacks() {
        std::size_t from = log.size();
        act("press joystick rudder_trim_plus_pct");
        EXPECT_TRUE(transmitted("RUDDER_TRIM_RIGHT", from));
        EXPECT_TRUE(log.waitForRequest("SetDataOnSimObject", {}, kStepLimit, from));

        from = log.size();
        act("set pedals rudder_position 0.5\nset pedals brake_position 12.7");
        EXPECT_TRUE(transmitted("AXIS_LEFT_BRAKE_SET", from));
        EXPECT_TRUE(transmitted("AXIS_RIGHT_BRAKE_SET", from));
        EXPECT_TRUE(log.waitForRequest(
            "SetDataOnSimObject",
            [](const Json& f) {
                return f.contains("values") && f["values"].contains("RUDDER POSITION");
            },
            kStepLimit, from));

        // Three detents raise the barometric setting by 3 hPa, and the panel's display
        // follows. The pedals go on sending their brakes meanwhile; only the barometer counts.
        const auto first = rackLog.waitForReceived("efis", [](const Json&) { return true; }, kStepLimit);
        ASSERT_TRUE(first) << "no EFIS frame from the service";
        from = log.size();
        act("turn efis baro 3");
        const auto baroEvents = [&] {
            std::vector<std::string> events = log.transmittedEvents(from);
            std::erase_if(events, [](const std::string& e) { return e.rfind("KOHLSMAN", 0) != 0; });
            return events;
        };
        EXPECT_TRUE(testsupport::waitUntil([&] { return baroEvents().size() >= 3; }, kStepLimit));
        EXPECT_EQ(baroEvents(), (std::vector<std::string>(3, "KOHLSMAN_INC")));
        EXPECT_TRUE(rackLog.waitForReceived(
            "efis", memberIs("baro", (*first)["fields"]["baro"].get<int>() + 3), kStepLimit))
            << rackLog.lastDisplay("efis").value_or("no display");

        // The autopilot master goes to the simulator, and its light comes back to the panel.
        ASSERT_TRUE(rackLog.waitForReceived("fcu", [](const Json&) { return true; }, kStepLimit));
        from = log.size();
        const std::size_t seen = rackLog.size();
        act("press fcu ap1");
        EXPECT_TRUE(transmitted("AP_MASTER", from));
        EXPECT_TRUE(rackLog.waitForReceived("fcu", memberIs("ap1", true), kStepLimit, seen))
            << rackLog.lastDisplay("fcu").value_or("no display");
        quit();
    }

    void quit() {
        standin->signal(SIGINT);
        EXPECT_EQ(service->waitExit(kStepLimit), 0) << lines(*service);
        EXPECT_TRUE(contains(*service, "[OK] Quit, Bye !!\n")) << lines(*service);
        EXPECT_EQ(standin->waitExit(kStepLimit), 0) << lines(*standin);
        EXPECT_TRUE(contains(*standin, "sim-standin: quit (signal)")) << lines(*standin);
    }

    std::string connectedEndpoint() {
        const auto connected = log.waitForEvent("connect", kStepLimit);
        return connected ? connected->value("endpoint", "") : "";
    }

    testsupport::TempDir work;
    std::unique_ptr<ChildProcess> racks;
    std::unique_ptr<ComLinks> links;
    std::unique_ptr<ChildProcess> standin;
    std::unique_ptr<ChildProcess> service;
    testsupport::StandinLog log{work.file("standin.jsonl")};
    testsupport::RackLog rackLog{work.file("racks.jsonl")};
};

TEST_F(WindowsRun, AllRacksOnTheDefaultPipe) {
    ASSERT_NO_FATAL_FAILURE(start({"--no-tcp"}));
    EXPECT_EQ(connectedEndpoint(), "pipe");
    serveAllRacks();
}

// Without a pipe the plan's next stage is IPv6 on "::1" at the registered port.
TEST_F(WindowsRun, AllRacksOverTcpFromTheRegistry) {
    ASSERT_NO_FATAL_FAILURE(start({"--no-pipe"}));
    EXPECT_EQ(connectedEndpoint(), "ipv6");
    serveAllRacks();
}

// The zip of scripts/package as a user has it: unpacked into a folder, its examples copied
// beside the service, which runs from there.
TEST_F(WindowsRun, TheZipsServiceFromItsOwnFolder) {
    const char* dist = std::getenv("ORVENDALE_DIST_DIR");
    if (dist == nullptr) GTEST_SKIP() << "ORVENDALE_DIST_DIR names no packages (scripts/test sets it)";
    const std::string zip = std::string(dist) + "/orvendale-fs-" ORVENDALE_VERSION "-win64.zip";
    ASSERT_TRUE(fs::exists(zip)) << "no " << zip << " (scripts/package)";
    testsupport::ChildProcess unzip({{"unzip", "-q", zip, "-d", work.path()}});
    ASSERT_EQ(unzip.waitExit(kStepLimit), 0) << unzip.output();
    for (const auto& example : fs::directory_iterator(work.file("examples")))
        fs::copy_file(example.path(), work.file(example.path().filename()));

    ASSERT_NO_FATAL_FAILURE(start({"--no-tcp"}, work.file("orvendale-fs.exe")));
    EXPECT_TRUE(contains(*service, "\nConnected to Flight Simulator! :)\n"));
    for (const char* rack : {"COM3 : \"joystick_rack\"", "COM4 : \"pedals_rack\"",
                             "COM5 : \"efis_rack\"", "COM6 : \"autopilot_rack\""})
        EXPECT_TRUE(contains(*service, rack)) << lines(*service);
    quit();
}

}  // namespace
