// Boards unplugged and plugged back while the service runs, and a board plugged in only
// after it started: the racks' links (as /dev/serial/by-id gives them) are removed with
// their pseudo-terminals and made again for new ones. The service closes a gone port, says
// nothing more often than once a second about it, opens the path again once it is back,
// with the usual line, and serves the rack as before.
#include <gtest/gtest.h>

#include <thread>

#include "tests/integration/racks/replug_run.h"

namespace {

using namespace racktest;

TEST(RackReplug, BoardsUnpluggedPluggedBackAndPluggedLate) {
    ReplugRun run;
    ASSERT_TRUE(run.ready());
    auto boards = run.plug({"pedals", "efis"}, "first.jsonl");
    const Json config = {{run.link("pedals"), "pedals_rack"},
                         {run.link("efis"), "efis_rack"},
                         {run.link("joystick"), "joystick_rack"}};
    run.startService(config.dump());
    ASSERT_TRUE(run.service().waitForOutput(
        "[OK] Rack: efis_rack Connected on Port: " + run.port("efis") + "\n", 10s));
    // The joystick's board is not there yet: said once, with the system's reason.
    EXPECT_TRUE(run.service().waitForOutput(
        "[ERR] Rack: joystick_rack NOT Connected on Port: " + run.port("joystick") +
            "\n[ERR] Rack: joystick_rack on Port: " + run.port("joystick") +
            ": No such file or directory\n",
        10s))
        << run.service().output();
    ASSERT_TRUE(run.act("first.jsonl", "set pedals rudder_position 11"));
    ASSERT_TRUE(rudderWritten(run.sim(), 0, 11)) << run.service().output();
    testsupport::RackLog first(run.logPath("first.jsonl"));
    ASSERT_TRUE(first.waitForReceived(
        "efis", [](const Json&) { return true; }, 10s));

    // Gone for three seconds: nothing about either rack more often than once a second.
    const std::size_t goneFrom = run.service().output().size();
    ReplugRun::unplug(boards);
    const auto gone = Clock::now();
    std::this_thread::sleep_until(gone + 3s);
    const std::string during = run.service().output();
    const double seconds = std::chrono::duration<double>(Clock::now() - gone).count();
    for (const std::string& rack : {std::string("pedals_rack"), std::string("efis_rack")}) {
        const std::size_t lines = countFrom(during, rack, goneFrom);
        EXPECT_GE(lines, 1u) << rack << "\n" << during.substr(goneFrom);
        EXPECT_LE(lines, static_cast<std::size_t>(seconds) + 1) << rack << "\n"
                                                                << during.substr(goneFrom);
    }
    EXPECT_LE(countFrom(during, "[ERR READFILE]", goneFrom), 1u) << during.substr(goneFrom);

    // Plugged back, and the joystick's board plugged in at last.
    const std::size_t backFrom = run.service().output().size();
    const std::size_t logged = run.sim().size();
    boards = run.plug({"pedals", "efis", "joystick"}, "second.jsonl");
    for (const char* rack : {"pedals", "efis", "joystick"})
        EXPECT_TRUE(run.service().waitForOutput(
            std::string("[OK] Rack: ") + rack + "_rack Connected on Port: " + run.port(rack) + "\n",
            5s, backFrom))
            << rack << "\n"
            << run.service().output().substr(backFrom);
    ASSERT_TRUE(
        run.act("second.jsonl", "set pedals rudder_position 22\nset joystick autopilot_master 1"));
    EXPECT_TRUE(rudderWritten(run.sim(), logged, 22));
    EXPECT_TRUE(run.sim().waitForRequest("TransmitClientEvent",
                                         testsupport::memberIs("event", "AP_MASTER"), 10s, logged));
    testsupport::RackLog second(run.logPath("second.jsonl"));
    EXPECT_TRUE(second.waitForReceived(
        "efis", [](const Json&) { return true; }, 10s));

    EXPECT_EQ(run.service().output().find("Error run"), std::string::npos)
        << run.service().output();
}

}  // namespace
