// Whole runs of the Windows build under Wine, driven from Linux: the Windows service and
// the Windows stand-in under one Wine prefix, and the four racks of rack-emulator on
// pseudo-terminals that the prefix's COM ports (dosdevices/com3 to com6) lead to. One run
// finds the stand-in on the default named pipe; in the other the stand-in offers no pipe
// and the service falls back to TCP through the ports published in Wine's registry.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>

#include "tests/support/process.h"
#include "tests/support/rack_log.h"
#include "tests/support/standin_log.h"

namespace {

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using testsupport::Json;
using testsupport::ProcessOptions;
using testsupport::TempDir;
namespace fs = std::filesystem;

const std::string kWineRun = ORVENDALE_WINE_RUN;
const std::string kWindowsBin = ORVENDALE_WINDOWS_BIN_DIR;
// Wine starts slowly, and a first run may still be making the prefix.
constexpr auto kStartLimit = 60s;
constexpr auto kStepLimit = 15s;

const std::map<std::string, std::string> kComPorts = {
    {"com3", "joystick"}, {"com4", "pedals"}, {"com5", "efis"}, {"com6", "fcu"}};

std::string windowsProgram(const std::string& name) {
    return kWindowsBin + "/" + name + ".exe";
}

std::string winePrefix() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0')
        return prefix;
    return fs::weakly_canonical(fs::path(kWindowsBin) / ".." / "wine-prefix").string();
}

// Windows programs end their console lines with CR LF.
std::string lines(const ChildProcess& process) {
    std::string text = process.output();
    std::erase(text, '\r');
    return text;
}

bool contains(const ChildProcess& process, const std::string& text) {
    return lines(process).find(text) != std::string::npos;
}

std::unique_ptr<ChildProcess> startWindows(const std::string& program,
                                           const std::vector<std::string>& args,
                                           const TempDir& work) {
    ProcessOptions options;
    options.args = {kWineRun, windowsProgram(program)};
    options.args.insert(options.args.end(), args.begin(), args.end());
    options.cwd = work.path();
    return std::make_unique<ChildProcess>(options);
}

// Links from the prefix's COM devices to the racks' pseudo-terminals, removed at the end.
class ComLinks {
public:
    explicit ComLinks(const std::map<std::string, std::string>& devices) {
        const fs::path folder = fs::path(winePrefix()) / "dosdevices";
        for (const auto& [port, rack] : kComPorts) {
            const fs::path link = folder / port;
            fs::remove(link);
            fs::create_symlink(devices.at(rack), link);
            links_.push_back(link);
        }
    }
    ~ComLinks() {
        std::error_code ignored;
        for (const fs::path& link : links_) fs::remove(link, ignored);
    }
    ComLinks(const ComLinks&) = delete;
    ComLinks& operator=(const ComLinks&) = delete;

private:
    std::vector<fs::path> links_;
};

class WindowsRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(windowsProgram("orvendale-fs")) || !fs::exists(windowsProgram("sim-standin")))
            GTEST_SKIP() << "no Windows build in " << kWindowsBin << " (scripts/build-windows)";
    }

    // The racks first, so that their devices exist when the prefix's links are made.
    void startRacks() {
        ProcessOptions options;
        options.args = {testsupport::binaryPath("rack-emulator"), "--joystick", "--pedals",
                        "--efis", "--fcu", "--control", control(), "--log", work.file("racks.jsonl")};
        racks = std::make_unique<ChildProcess>(options);
        ASSERT_TRUE(racks->waitForOutput("rack-emulator: ready", kStepLimit)) << racks->output();
        ASSERT_TRUE(testsupport::waitUntil(
            [&] { return testsupport::parseRackReadyLine(racks->output()).size() == 4; }, kStepLimit));
    }

    void startStandin(const std::vector<std::string>& args) {
        std::vector<std::string> all = {"--log", work.file("standin.jsonl")};
        all.insert(all.end(), args.begin(), args.end());
        standin = startWindows("sim-standin", all, work);
        ASSERT_TRUE(testsupport::waitUntil(
            [&] { return testsupport::parseStandinReadyLine(lines(*standin)).has_value(); },
            kStartLimit))
            << standin->output();
    }

    void startService() {
        links = std::make_unique<ComLinks>(testsupport::parseRackReadyLine(racks->output()));
        work.write("rack_config.json",
                   R"({"COM3": "joystick_rack", "COM4": "pedals_rack", "COM5": "efis_rack",)"
                   R"( "COM6": "autopilot_rack"})");
        service = startWindows("orvendale-fs", {}, work);
        ASSERT_TRUE(testsupport::waitUntil([&] { return contains(*service, "[OK] Connection Opened !"); },
                                           kStartLimit))
            << lines(*service);
        for (const char* line : {"[OK] Rack: joystick_rack Connected on Port: \\\\.\\COM3",
                                 "[OK] Rack: pedals_rack Connected on Port: \\\\.\\COM4",
                                 "[OK] Rack: efis_rack Connected on Port: \\\\.\\COM5",
                                 "[OK] Rack: autopilot_rack Connected on Port: \\\\.\\COM6"}) {
            EXPECT_TRUE(contains(*service, line)) << line << "\n" << lines(*service);
        }
    }

    std::string control() const { return work.file("control"); }
    void act(const std::string& actions) { ASSERT_TRUE(testsupport::sendRackActions(control(), actions)); }
    bool transmitted(const std::string& event, std::size_t from) {
        return log().waitForRequest(
                   "TransmitClientEvent",
                   [&](const Json& fields) { return fields.value("event", "") == event; }, kStepLimit,
                   from)
            .has_value();
    }

    testsupport::StandinLog& log() { return standinLog; }
    testsupport::RackLog& rackLog() { return racksLog; }

    void joystickScenario() {
        const std::size_t from = log().size();
        act("press joystick rudder_trim_plus_pct");
        EXPECT_TRUE(transmitted("RUDDER_TRIM_RIGHT", from));
        EXPECT_TRUE(log().waitForRequest("SetDataOnSimObject", {}, kStepLimit, from));
    }

    void pedalsScenario() {
        const std::size_t from = log().size();
        act("set pedals rudder_position 0.5\nset pedals brake_position 12.7");
        EXPECT_TRUE(transmitted("AXIS_LEFT_BRAKE_SET", from));
        EXPECT_TRUE(transmitted("AXIS_RIGHT_BRAKE_SET", from));
        EXPECT_TRUE(log().waitForRequest(
            "SetDataOnSimObject",
            [](const Json& fields) {
                return fields.contains("values") && fields["values"].contains("RUDDER POSITION");
            },
            kStepLimit, from));
    }

    // Three detents raise the barometric setting by 3 hPa, and the panel's display follows.
    void efisScenario() {
        const auto first = rackLog().waitForReceived("efis", [](const Json&) { return true; }, kStepLimit);
        ASSERT_TRUE(first) << "no EFIS frame from the service";
        const int baro = (*first)["fields"]["baro"].get<int>();
        const std::size_t from = log().size();
        act("turn efis baro 3");
        // The pedals go on sending their brakes meanwhile; only the barometer counts here.
        const auto baroEvents = [&] {
            std::vector<std::string> events = log().transmittedEvents(from);
            std::erase_if(events, [](const std::string& e) { return e.rfind("KOHLSMAN", 0) != 0; });
            return events;
        };
        EXPECT_TRUE(testsupport::waitUntil([&] { return baroEvents().size() >= 3; }, kStepLimit));
        EXPECT_EQ(baroEvents(), (std::vector<std::string>(3, "KOHLSMAN_INC")));
        EXPECT_TRUE(rackLog().waitForReceived(
            "efis", [&](const Json& fields) { return fields.value("baro", 0) == baro + 3; }, kStepLimit))
            << rackLog().lastDisplay("efis").value_or("no display");
    }

    // The autopilot master goes to the simulator, and its light comes back to the panel.
    void fcuScenario() {
        ASSERT_TRUE(rackLog().waitForReceived("fcu", [](const Json&) { return true; }, kStepLimit));
        const std::size_t from = log().size();
        const std::size_t seen = rackLog().size();
        act("press fcu ap1");
        EXPECT_TRUE(transmitted("AP_MASTER", from));
        EXPECT_TRUE(rackLog().waitForReceived(
            "fcu", [](const Json& fields) { return fields.value("ap1", false); }, kStepLimit, seen))
            << rackLog().lastDisplay("fcu").value_or("no display");
    }

    // The simulator quits (Ctrl+C for the stand-in); the service says goodbye and ends with 0.
    void quit() {
        standin->signal(SIGINT);
        const auto serviceExit = service->waitExit(kStepLimit);
        ASSERT_TRUE(serviceExit.has_value()) << lines(*service);
        EXPECT_EQ(*serviceExit, 0) << lines(*service);
        EXPECT_TRUE(contains(*service, "[OK] Quit, Bye !!\n")) << lines(*service);
        EXPECT_EQ(standin->waitExit(kStepLimit), 0) << lines(*standin);
        EXPECT_TRUE(contains(*standin, "sim-standin: quit (signal)")) << lines(*standin);
    }

    void serveAllRacks() {
        joystickScenario();
        pedalsScenario();
        efisScenario();
        fcuScenario();
        quit();
    }

    std::string connectedEndpoint() {
        const auto connected = log().waitForEvent("connect", kStepLimit);
        return connected ? connected->value("endpoint", "") : "";
    }

    TempDir work;
    std::unique_ptr<ChildProcess> racks;
    std::unique_ptr<ComLinks> links;
    std::unique_ptr<ChildProcess> standin;
    std::unique_ptr<ChildProcess> service;
    testsupport::StandinLog standinLog{work.file("standin.jsonl")};
    testsupport::RackLog racksLog{work.file("racks.jsonl")};
};

TEST_F(WindowsRun, AllRacksOnTheDefaultPipe) {
    ASSERT_NO_FATAL_FAILURE(startRacks());
    ASSERT_NO_FATAL_FAILURE(startStandin({"--no-tcp"}));
    ASSERT_NO_FATAL_FAILURE(startService());
    EXPECT_EQ(connectedEndpoint(), "pipe");
    serveAllRacks();
}

// Without a pipe the plan's next stage is IPv6 on "::1" at the registered port.
TEST_F(WindowsRun, AllRacksOverTcpFromTheRegistry) {
    ASSERT_NO_FATAL_FAILURE(startRacks());
    ASSERT_NO_FATAL_FAILURE(startStandin({"--no-pipe"}));
    ASSERT_NO_FATAL_FAILURE(startService());
    EXPECT_EQ(connectedEndpoint(), "ipv6");
    serveAllRacks();
}

}  // namespace
