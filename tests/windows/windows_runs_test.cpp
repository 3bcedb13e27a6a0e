// Whole runs of the Windows build under Wine, driven from Linux: the Windows service and
// the Windows stand-in under one Wine prefix, and the four racks of rack-emulator on
// pseudo-terminals that the prefix's COM ports (dosdevices/com3 to com6) lead to.
#include <gtest/gtest.h>
#include <signal.h>

#include <memory>

#include "testing/http_client.h"
#include "testing/proc_stats.h"
#include "testing/rack_log.h"
#include "testing/standin_log.h"
#include "wine_programs.h"

namespace {

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using testsupport::Json;
using testsupport::memberIs;
using namespace winetest;

// Wine starts slowly, and a first run may still be making the prefix.
constexpr auto kStartLimit = 60s;
constexpr auto kStepLimit = 15s;
// The service's main loop sleeps until the simulator's messages come and its racks sleep
// between reads; a loop that spins takes a whole core.
constexpr double kQuietCpu = 0.5;
const auto anyFrame = [](const Json&) { return true; };
const std::pair<const char*, const char*> kRacks[] = {
    {"COM3", "joystick"}, {"COM4", "pedals"}, {"COM5", "efis"}, {"COM6", "autopilot"}};

class WindowsRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (kWindowsBin.empty())
            GTEST_SKIP() << kWindowsBinVariable << " names no Windows build (scripts/test sets it)";
        ASSERT_TRUE(fs::exists(windowsProgram("orvendale-fs")) &&
                    fs::exists(windowsProgram("sim-standin")))
            << "no Windows build in " << kWindowsBin << " (scripts/build-windows)";
    }

    // The racks first, so that their devices exist when the prefix's links are made; then
    // the stand-in with `standinArgs`, and the service `exe` with the four racks on COM3 to
    // COM6 (in the work folder's rack_config.json, written when it has none), until it has
    // started them.
    void launch(const std::vector<std::string>& standinArgs,
                const std::string& exe = windowsProgram("orvendale-fs")) {
        racks = std::make_unique<ChildProcess>(testsupport::ProcessOptions{
            {testsupport::binaryPath("rack-emulator"), "--joystick", "--pedals", "--efis", "--fcu",
             "--control", work.file("control"), "--log", work.file("racks.jsonl")}});
        const auto devices = rackLog.waitForDevices(kStepLimit);
        ASSERT_EQ(devices.size(), 4u) << racks->output();
        std::vector<std::string> args = {"--log", work.file("standin.jsonl")};
        args.insert(args.end(), standinArgs.begin(), standinArgs.end());
        standin = std::make_unique<ChildProcess>(wineOptions(windowsProgram("sim-standin"), args, work.path()));
        ASSERT_TRUE(log.waitForListening(kStartLimit)) << standin->output();

        links = std::make_unique<ComLinks>(devices);
        if (!fs::exists(work.file("rack_config.json")))
            work.write("rack_config.json",
                       R"({"COM3": "joystick_rack", "COM4": "pedals_rack", "COM5": "efis_rack",)"
                       R"( "COM6": "autopilot_rack"})");
        service = std::make_unique<ChildProcess>(wineOptions(exe, serviceArgs, work.path()));
        ASSERT_TRUE(
            testsupport::waitUntil([&] { return contains(*service, "Launch a flight."); }, kStartLimit))
            << lines(*service);
        for (const auto& [com, rack] : kRacks) {
            const std::string line =
                std::string("[OK] Rack: ") + rack + "_rack Connected on Port: \\\\.\\" + com;
            EXPECT_TRUE(contains(*service, line)) << line << "\n" << lines(*service);
        }
    }

    // Launched, and the simulator has answered.
    void start(const std::vector<std::string>& standinArgs,
               const std::string& exe = windowsProgram("orvendale-fs")) {
        ASSERT_NO_FATAL_FAILURE(launch(standinArgs, exe));
        ASSERT_TRUE(testsupport::waitUntil([&] { return contains(*service, "[OK] Connection Opened !"); },
                                           kStepLimit))
            << lines(*service);
    }

    // The service's CPU seconds per wall second over `window` stay low, and it lives on.
    void expectQuietAndRunning(std::chrono::milliseconds window) {
        const double before = testsupport::cpuSeconds(service->pid());
        const auto started = std::chrono::steady_clock::now();
        service->waitExit(window);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const double cpu = (testsupport::cpuSeconds(service->pid()) - before) / wall;
        EXPECT_LT(cpu, kQuietCpu);
        RecordProperty("service_cpu_s_per_s", std::to_string(cpu));
        EXPECT_TRUE(service->running()) << lines(*service);
    }

    // Rack requests the stand-in logged from `from` on.
    std::size_t rackRequests(std::size_t from = 0) {
        return log.requests("TransmitClientEvent", from).size() + log.requests("SetDataOnSimObject", from).size() +
               log.requests("SetClientData", from).size();
    }

    void act(const std::string& actions) {
        ASSERT_TRUE(testsupport::sendRackActions(work.file("control"), actions));
    }
    bool transmitted(const std::string& event, std::size_t from) {
        return log.waitForRequest("TransmitClientEvent", memberIs("event", event), kStepLimit, from)
            .has_value();
    }

    // The simulator quits (Ctrl+C for the stand-in): the service says goodbye and ends
    // with 0. The seconds it took.
    double quit() {
        const auto asked = std::chrono::steady_clock::now();
        standin->signal(SIGINT);
        EXPECT_EQ(service->waitExit(kStepLimit), 0) << lines(*service);
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
        EXPECT_TRUE(contains(*service, "[OK] Quit, Bye !!\n")) << lines(*service);
        EXPECT_EQ(standin->waitExit(kStepLimit), 0) << lines(*standin);
        EXPECT_TRUE(contains(*standin, "sim-standin: quit (signal)")) << lines(*standin);
        return took;
    }

    std::string connectedEndpoint() {
        const auto connected = log.waitForEvent("connect", kStepLimit);
        return connected ? connected->value("endpoint", "") : "";
    }

    testsupport::TempDir work;
    // Added to the service's command line.
    std::vector<std::string> serviceArgs;
    std::unique_ptr<ChildProcess> racks;
    std::unique_ptr<ComLinks> links;
    std::unique_ptr<ChildProcess> standin;
    std::unique_ptr<ChildProcess> service;
    testsupport::StandinLog log{work.file("standin.jsonl")};
    testsupport::RackLog rackLog{work.file("racks.jsonl")};
};

// Without a pipe the plan's next stage is IPv6 on "::1" at the port registered in Wine's
// registry. One scenario per rack; the pipe carries the runs below.
TEST_F(WindowsRun, AllRacksOverTcpFromTheRegistry) {
    ASSERT_NO_FATAL_FAILURE(start({"--no-pipe"}));
    EXPECT_EQ(connectedEndpoint(), "ipv6");
    std::size_t from = log.size();
    act("press joystick rudder_trim_plus_pct");
    EXPECT_TRUE(transmitted("RUDDER_TRIM_RIGHT", from));
    EXPECT_TRUE(log.waitForRequest("SetDataOnSimObject", {}, kStepLimit, from));

    from = log.size();
    act("set pedals rudder_position 0.5\nset pedals brake_position 12.7");
    EXPECT_TRUE(transmitted("AXIS_LEFT_BRAKE_SET", from));
    EXPECT_TRUE(transmitted("AXIS_RIGHT_BRAKE_SET", from));
    const auto rudder = [](const Json& f) { return f.contains("values") && f["values"].contains("RUDDER POSITION"); };
    EXPECT_TRUE(log.waitForRequest("SetDataOnSimObject", rudder, kStepLimit, from));

    // Three detents raise the barometric setting by 3 hPa, and the panel's display
    // follows. The pedals go on sending their brakes meanwhile; only the barometer counts.
    const auto first = rackLog.waitForReceived("efis", anyFrame, kStepLimit);
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
    ASSERT_TRUE(rackLog.waitForReceived("fcu", anyFrame, kStepLimit));
    from = log.size();
    const std::size_t seen = rackLog.size();
    act("press fcu ap1");
    EXPECT_TRUE(transmitted("AP_MASTER", from));
    EXPECT_TRUE(rackLog.waitForReceived("fcu", memberIs("ap1", true), kStepLimit, seen))
        << rackLog.lastDisplay("fcu").value_or("no display");
    quit();
}

// The Windows build serves the same monitor page, read from Linux over the loopback.
TEST_F(WindowsRun, MonitorPageAndStateFromLinux) {
    serviceArgs = {"--monitor", "127.0.0.1:0"};
    ASSERT_NO_FATAL_FAILURE(start({}));
    ASSERT_TRUE(testsupport::waitUntil([&] { return contains(*service, "Monitor page at http://127.0.0.1:"); },
                                       kStepLimit))
        << lines(*service);
    const std::string text = lines(*service);
    const auto at = text.find("Monitor page at http://127.0.0.1:") + 33;
    const auto port = static_cast<std::uint16_t>(std::stoi(text.substr(at)));
    const std::string page = monitortest::get(port, "/");
    EXPECT_EQ(monitortest::statusLine(page), "HTTP/1.1 200 OK");
    EXPECT_NE(page.find("EventSource(\"/api/events\")"), std::string::npos);
    act("press fcu ap1");
    ASSERT_TRUE(testsupport::waitUntil(
        [&] {
            const Json state = Json::parse(monitortest::bodyOf(monitortest::get(port, "/api/state")), nullptr, false);
            if (state.is_discarded()) return false;
            const Json fcu = state["racks"]["autopilot_rack"];
            return fcu.value("port", "") == "\\\\.\\COM6" && fcu.value("good", 0) > 0 &&
                   fcu["sentCounts"].value("AP_MASTER", 0) >= 1 &&
                   state["link"].value("connected", false);
        },
        kStepLimit));
    EXPECT_EQ(monitortest::statusLine(monitortest::fetch(port, "PUT / HTTP/1.1\r\nHost: m\r\n\r\n")),
              "HTTP/1.1 405 Method Not Allowed");
    quit();
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

// The pipe breaks after the first 16 bytes of a message: the service delivers no part of
// it, says the connection is lost, stops its racks and ends with 3, for a supervisor to
// start it again.
TEST_F(WindowsRun, ConnectionCutInTheMiddleOfAMessage) {
    // Late enough for the racks to be at work, which takes them about 5 s under Wine.
    ASSERT_NO_FATAL_FAILURE(start({"--no-tcp", "--break-after", "10", "--break-mid-message"}));
    act("hold fcu spd_on 30");
    const auto broke = log.waitForEvent("break", kStepLimit);
    ASSERT_TRUE(broke);
    EXPECT_TRUE(log.waitForMessage("EXCEPTION", memberIs("cut_from", 24), kStepLimit));
    EXPECT_EQ(standin->waitExit(kStepLimit), 0) << lines(*standin);
    // The joystick's and the pedals' messages each set their data on the aircraft.
    const auto firstRequest = log.waitForRequest("SetDataOnSimObject", nullptr, 0ms);
    ASSERT_TRUE(firstRequest && (*firstRequest)["t"] < (*broke)["t"]) << "the racks were not at work before the break";

    EXPECT_EQ(service->waitExit(kStepLimit), 3) << lines(*service);
    EXPECT_TRUE(
        contains(*service,
                 "\n[ERR] Lost the connection to Flight Simulator at "
                 "\\\\.\\pipe\\Microsoft Flight Simulator\\SimConnect, status 0xC000014B\n"))
        << lines(*service);
    for (const char* line : {"Exception ID", "Received:", "Error", "[OK] Quit"})
        EXPECT_FALSE(contains(*service, line)) << line << "\n" << lines(*service);
}

// Every board unplugged (the racks' program ends, its devices go and the COM ports' links
// lead nowhere) and plugged back (new devices, the links made again): the service closes
// the gone ports, opens each COM port again once it leads to a device, says so with the
// usual line, and serves the racks as before.
TEST_F(WindowsRun, BoardsUnpluggedAndPluggedBack) {
    ASSERT_NO_FATAL_FAILURE(start({"--no-tcp"}));
    act("set pedals brake_position 100");
    ASSERT_TRUE(transmitted("AXIS_LEFT_BRAKE_SET", 0));
    const std::size_t goneFrom = lines(*service).size();
    racks->signal(SIGTERM);
    ASSERT_EQ(racks->waitExit(kStepLimit), 0);
    EXPECT_TRUE(testsupport::waitUntil(
        [&] {
            return lines(*service).find("[WARN] Cannot READ From Rack pedals_rack", goneFrom) !=
                   std::string::npos;
        },
        kStepLimit))
        << lines(*service).substr(goneFrom);

    const std::size_t backFrom = lines(*service).size();
    testsupport::RackLog replugged(work.file("racks2.jsonl"));
    racks = std::make_unique<ChildProcess>(testsupport::ProcessOptions{
        {testsupport::binaryPath("rack-emulator"), "--joystick", "--pedals", "--efis", "--fcu",
         "--control", work.file("control2"), "--log", work.file("racks2.jsonl")}});
    const auto devices = replugged.waitForDevices(kStepLimit);
    ASSERT_EQ(devices.size(), 4u) << racks->output();
    // The old links go first: they are the same paths.
    links.reset();
    links = std::make_unique<ComLinks>(devices);
    for (const auto& [com, rack] : kRacks) {
        const std::string line =
            std::string("[OK] Rack: ") + rack + "_rack Connected on Port: \\\\.\\" + com;
        EXPECT_TRUE(testsupport::waitUntil(
            [&] { return lines(*service).find(line, backFrom) != std::string::npos; }, kStepLimit))
            << line << "\n"
            << lines(*service).substr(goneFrom);
    }
    const std::size_t from = log.size();
    ASSERT_TRUE(
        testsupport::sendRackActions(work.file("control2"), "set pedals brake_position 300"));
    EXPECT_TRUE(transmitted("AXIS_LEFT_BRAKE_SET", from));
    EXPECT_TRUE(replugged.waitForReceived("efis", anyFrame, kStepLimit));
    quit();
}

// A simulator that takes the connection and never answers it: every rack waits, none of
// their input reaches the simulator, the service dispatches without spinning, and the
// simulator's quit still ends it.
TEST_F(WindowsRun, SimulatorThatNeverAnswersTheOpen) {
    ASSERT_NO_FATAL_FAILURE(launch({"--no-tcp", "--no-open-answer"}));
    for (const auto& [com, rack] : kRacks) {
        const std::string line = std::string("[WARN] Rack ") + rack + "_rack in \\\\.\\" + com +
                                 " is waiting for Flight Simulator starts. coon:1, first:0";
        EXPECT_TRUE(testsupport::waitUntil([&] { return contains(*service, line); }, kStepLimit))
            << line << "\n" << lines(*service);
    }
    act("press joystick rudder_trim_plus_pct\nset pedals brake_position 100\nturn efis baro 3\npress fcu ap1");
    expectQuietAndRunning(4s);
    EXPECT_EQ(rackRequests(), 0u);

    quit();
    EXPECT_FALSE(contains(*service, "[OK] Connection Opened !"));
    EXPECT_EQ(rackRequests(), 0u);
}

// The simulator quits while every rack keeps the service busy: a held switch repeating,
// knobs turning, axes and brakes moving. The service says goodbye and ends with 0.
TEST_F(WindowsRun, QuitWhileEveryRackIsBusy) {
    ASSERT_NO_FATAL_FAILURE(start({"--no-tcp"}));
    EXPECT_EQ(connectedEndpoint(), "pipe");
    std::string actions = "hold fcu spd_on 60\nmove joystick aileron_position 30\nset pedals brake_position 9000";
    // A knob turn every 100 ms for 5 s (control lines count from when they are read).
    for (int i = 1; i <= 50; ++i) {
        const std::string at = "\n+" + std::to_string(i / 10) + "." + std::to_string(i % 10) + " ";
        actions += at + "turn efis baro 1" + at + "turn fcu hdg 1";
    }
    act(actions);
    EXPECT_TRUE(transmitted("AP_AIRSPEED_ON", 0));
    EXPECT_TRUE(transmitted("HEADING_BUG_INC", 0));
    const std::size_t busy = rackRequests();
    EXPECT_TRUE(testsupport::waitUntil([&] { return rackRequests() > busy + 20; }, kStepLimit));

    // Closing waits at most 5 s for the connection's last completions; the racks stop at
    // their next pass.
    const double took = quit();
    EXPECT_LT(took, 6.0);
    RecordProperty("seconds_to_exit", std::to_string(took));
}

}  // namespace
