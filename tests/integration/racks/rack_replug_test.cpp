// Boards unplugged and plugged back while the service runs, and a board plugged in only
// after it started: the racks' links (as /dev/serial/by-id gives them) are removed with
// their pseudo-terminals and made again for new ones. The service closes a gone port, says
// nothing more often than once a second about it, opens the path again once it is back,
// with the usual line, and serves the rack as before.
#include <gtest/gtest.h>

#include <thread>

#include "testing/replug_run.h"

namespace {

using namespace racktest;
using Clock = std::chrono::steady_clock;

TEST(RackReplug, BoardsUnpluggedPluggedBackAndPluggedLate) {
    RackRun run({});
    ASSERT_TRUE(run.simulatorReady());
    Boards boards;
    auto plugged = boards.plug({"pedals", "efis"}, "first.jsonl");
    const Json config = {{boards.link("pedals"), "pedals_rack"},
                         {boards.link("efis"), "efis_rack"},
                         {boards.link("joystick"), "joystick_rack"}};
    const auto service = run.launch(config.dump());
    testsupport::ChildProcess& out = *service->process;
    // The joystick's board is not there yet: said once, with the system's reason.
    EXPECT_TRUE(out.waitForOutput("[ERR] Rack: joystick_rack NOT Connected on Port: " + boards.port("joystick") +
                                      "\n[ERR] Rack: joystick_rack on Port: " + boards.port("joystick") +
                                      ": No such file or directory\n",
                                  10s))
        << out.output();
    ASSERT_TRUE(boards.act("first.jsonl", "set pedals rudder_position 11"));
    ASSERT_TRUE(rudderWritten(run.sim(), 0, 11)) << out.output();
    testsupport::RackLog first(boards.logPath("first.jsonl"));
    ASSERT_TRUE(first.waitForReceived("efis", [](const Json&) { return true; }, 10s));

    // Gone for three seconds: nothing about either rack more often than once a second.
    const std::size_t goneFrom = out.output().size();
    Boards::unplug(plugged);
    const auto gone = Clock::now();
    std::this_thread::sleep_until(gone + 3s);
    const std::string during = out.output();
    const double seconds = std::chrono::duration<double>(Clock::now() - gone).count();
    for (const std::string rack : {"pedals_rack", "efis_rack"}) {
        const std::size_t lines = countFrom(during, rack, goneFrom);
        EXPECT_GE(lines, 1u) << rack << "\n" << during.substr(goneFrom);
        EXPECT_LE(lines, static_cast<std::size_t>(seconds) + 1) << rack << "\n" << during.substr(goneFrom);
    }
    EXPECT_LE(countFrom(during, "[ERR READFILE]", goneFrom), 1u) << during.substr(goneFrom);

    // Plugged back, and the joystick's board plugged in at last.
    const std::size_t backFrom = out.output().size();
    const std::size_t logged = run.sim().size();
    plugged = boards.plug({"pedals", "efis", "joystick"}, "second.jsonl");
    for (const char* rack : {"pedals", "efis", "joystick"})
        EXPECT_TRUE(out.waitForOutput(
            std::string("[OK] Rack: ") + rack + "_rack Connected on Port: " + boards.port(rack) + "\n", 5s,
            backFrom))
            << rack << "\n" << out.output().substr(backFrom);
    ASSERT_TRUE(boards.act("second.jsonl", "set pedals rudder_position 22\nset joystick autopilot_master 1"));
    EXPECT_TRUE(rudderWritten(run.sim(), logged, 22));
    EXPECT_TRUE(
        run.sim().waitForRequest("TransmitClientEvent", testsupport::memberIs("event", "AP_MASTER"), 10s, logged));
    testsupport::RackLog second(boards.logPath("second.jsonl"));
    EXPECT_TRUE(second.waitForReceived("efis", [](const Json&) { return true; }, 10s));
    EXPECT_EQ(out.output().find("Error run"), std::string::npos) << out.output();
}

}  // namespace
