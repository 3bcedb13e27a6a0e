// rack_config.json over whole runs against one stand-in: what the service prints and
// opens for each kind of member, and how it ends for documents it cannot use.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "testing/rack_run.h"

namespace {

using namespace racktest;
using namespace servicetest;
using Clock = std::chrono::steady_clock;

const std::string kCannotRead = "\n[WARN] Cannot READ From Rack joystick_rack in \\\\.\\COM9 :(\n";

TEST(RackConfiguration, MembersInKeyOrderDuplicatesAndUnknownValues) {
    RackRun run({"joystick", "pedals"});
    ASSERT_TRUE(run.simulatorReady());
    // The pedals handler that runs reads the joystick rack's line, so that line carries
    // the pedals' members too.
    run.act("set joystick rudder_position 100\nset joystick brake_position 3");
    const Json config = {{run.link("joystick"), "pedals_rack"}, {run.link("pedals"), "pedals_rack"},
                         {"COM9", "joystick_rack"},            {"COM10", "radio_rack"},
                         {"x", "Joystick_Rack"},               {"y", {{"efis_rack", 1}}},
                         {"z", nullptr},                       {"n", 5}};
    ASSERT_TRUE(run.startService(config.dump(), {"joystick", "pedals"})) << run.output();

    const std::string first = "\\\\.\\" + run.link("joystick");
    const std::string second = "\\\\.\\" + run.link("pedals");
    const std::string lines =
        run.link("joystick") +
        " : \"pedals_rack\"\n[OK] Rack: pedals_rack Connected on Port: " + first + "\n" +
        run.link("pedals") +
        " : \"pedals_rack\"\n[OK] Rack: pedals_rack Connected on Port: " + second +
        "\nCOM10 : \"radio_rack\"\nCOM9 : \"joystick_rack\"\n"
        "Warning: Handle was not attached. Reason: \\\\.\\COM9 not available\n"
        "[ERR] Rack: joystick_rack NOT Connected on Port: \\\\.\\COM9\n"
        "[ERR] Rack: joystick_rack on Port: \\\\.\\COM9: No such file or directory\n"
        "n : 5\nx : \"Joystick_Rack\"\ny : {\"efis_rack\":1}\nz : null\n";
    ASSERT_TRUE(run.service().waitForOutput(kLaunch, 10s));
    EXPECT_NE(run.output().find(kConnected + lines), std::string::npos) << run.output();

    // The second pedals handler gave its port back; the first one runs.
    EXPECT_TRUE(run.racks().waitForRackEvent("closed", "pedals", 5s));
    EXPECT_TRUE(run.waitForWrite(3, [](const Json& v) { return v.value("RUDDER POSITION", 0.0) == 100; }, 0));

    // A text rack without its port warns about every 2 s: 1 s in the read, 1 s after.
    const auto firstWarning = run.service().waitForOutput(kCannotRead, 5s);
    ASSERT_TRUE(firstWarning);
    const auto seen = Clock::now();
    ASSERT_TRUE(run.service().waitForOutput(kCannotRead, 5s, *firstWarning + 1));
    const auto interval = Clock::now() - seen;
    EXPECT_GT(interval, 1700ms);
    EXPECT_LT(interval, 2600ms);
    EXPECT_EQ(run.quitSimulator(), 0) << run.output();
}

// A user who may not open the board's device (not in the group dialout, on a real board)
// is told so, rather than left to think another program holds the port.
TEST(RackConfiguration, APortThatMayNotBeOpenedSaysWhy) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the service as another user";
    RackRun run({"pedals"});
    ASSERT_TRUE(run.simulatorReady());
    const std::string user = std::to_string(60000 + getpid() % 5000);
    const Json config = {{run.link("pedals"), "pedals_rack"}};
    const auto service = run.launch(config.dump(), {"/usr/bin/setpriv", "--reuid=" + user,
                                                    "--regid=" + user, "--clear-groups"});
    const std::string port = "\\\\.\\" + run.link("pedals");
    EXPECT_TRUE(
        service->process->waitForOutput("[ERR] Rack: pedals_rack NOT Connected on Port: " + port +
                                            "\n[ERR] Rack: pedals_rack on Port: " + port +
                                            ": Permission denied (the user running the service "
                                            "must be in the group dialout: sudo usermod -aG "
                                            "dialout USER, then log in again)\n",
                                        10s))
        << service->process->output();
}

TEST(RackConfiguration, EmptyDocumentsRunAndUnusableOnesEndInOrder) {
    RackRun run({});
    ASSERT_TRUE(run.simulatorReady());
    std::vector<std::unique_ptr<ServiceRun>> empty;
    for (const char* document : {"{}", "null", " [ ] "}) empty.push_back(run.launch(document));

    const std::string prefix = "\n[ERR] Cannot load rack_config.json: [json.exception.";
    const std::pair<std::optional<std::string>, std::string> unusable[] = {
        {std::nullopt, "parse_error.101] parse error at line 1, column 1: syntax error while parsing "
                       "value - unexpected end of input; expected '[', '{', or a literal\n"},
        {"{\"COM3\": ", "parse_error.101] parse error at line 1, column 10: syntax error while parsing "
                       "value - unexpected end of input; expected '[', '{', or a literal\n"},
        {"[\"joystick_rack\"]", "invalid_iterator.207] cannot use key() for non-object iterators\n"},
        {"5", "invalid_iterator.207] cannot use key() for non-object iterators\n"},
    };
    for (const auto& [document, message] : unusable) {
        const auto service = run.launch(document);
        EXPECT_EQ(service->process->waitExit(10s), 1) << service->process->output();
        const std::string out = service->process->output();
        EXPECT_NE(out.find(kConnected + prefix + message), std::string::npos) << out;
        EXPECT_EQ(out.find(kLaunch), std::string::npos);
    }

    for (const auto& service : empty) ASSERT_TRUE(service->process->waitForOutput(kLaunch, 10s));

    // A rack thread that the system refuses ends the run in order too, without blaming
    // the file. The service may have only the threads it runs before its racks start (as
    // many as a running service without racks has), under a user id of its own.
    const auto threads = std::distance(std::filesystem::directory_iterator(
                                           "/proc/" + std::to_string(empty[0]->process->pid()) + "/task"),
                                       std::filesystem::directory_iterator());
    const std::string user = std::to_string(60000 + getpid() % 5000);
    const auto refused =
        run.launch(R"({"COM9": "joystick_rack"})",
                   {"/usr/bin/prlimit", "--nproc=" + std::to_string(threads), "/usr/bin/setpriv", "--reuid=" + user,
                    "--regid=" + user, "--clear-groups"});
    EXPECT_EQ(refused->process->waitExit(10s), 1) << refused->process->output();
    const std::string refusedOut = refused->process->output();
    EXPECT_NE(refusedOut.find(
                  "[ERR] Rack: joystick_rack NOT Connected on Port: \\\\.\\COM9\n"
                  "[ERR] Rack: joystick_rack on Port: \\\\.\\COM9: No such file or directory\n"
                  "\n[ERR] Cannot start rack threads: Resource temporarily unavailable\n"),
              std::string::npos)
        << refusedOut;
    EXPECT_EQ(refusedOut.find("Cannot load"), std::string::npos);

    run.quitSimulator();
    for (const auto& service : empty) {
        EXPECT_EQ(service->process->waitExit(10s), 0);
        const std::string out = service->process->output();
        EXPECT_NE(out.find(kConnected + kLaunch), std::string::npos) << out;
        EXPECT_EQ(out.substr(out.size() - kQuit.size()), kQuit);
    }
}

}  // namespace
