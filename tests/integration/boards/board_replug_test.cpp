// The racks' firmware on emulated boards unplugged and plugged back while the service runs:
// the service takes the pedals' and the EFIS's boards up again on the same links, once
// they are back, and serves them as before.
#include <gtest/gtest.h>

#include "tests/integration/racks/replug_run.h"

namespace {

using namespace racktest;

const std::vector<std::string> kBoardSim = {"board-sim", "--firmware", ORVENDALE_FIRMWARE_DIR};

bool efisShown(const std::string& log) {
    testsupport::RackLog boards(log);
    return boards
        .waitFor(
            [](const Json& e) {
                return e.value("rack", "") == "efis" && e.value("event", "") == "display";
            },
            10s)
        .has_value();
}

TEST(BoardReplug, BoardsUnpluggedAndPluggedBack) {
    ReplugRun run;
    ASSERT_TRUE(run.ready());
    auto boards = run.plug({"pedals", "efis"}, "first.jsonl", kBoardSim);
    const Json config = {{run.link("pedals"), "pedals_rack"}, {run.link("efis"), "efis_rack"}};
    run.startService(config.dump());
    ASSERT_TRUE(rudderWritten(run.sim(), 0)) << run.service().output();
    ASSERT_TRUE(efisShown(run.logPath("first.jsonl")));

    const std::size_t goneFrom = run.service().output().size();
    ReplugRun::unplug(boards);
    ASSERT_TRUE(
        run.service().waitForOutput("[WARN] Cannot READ From Rack pedals_rack", 5s, goneFrom))
        << run.service().output();

    const std::size_t backFrom = run.service().output().size();
    const std::size_t logged = run.sim().size();
    boards = run.plug({"pedals", "efis"}, "second.jsonl", kBoardSim);
    for (const char* rack : {"pedals", "efis"})
        EXPECT_TRUE(run.service().waitForOutput(
            std::string("[OK] Rack: ") + rack + "_rack Connected on Port: " + run.port(rack) + "\n",
            5s, backFrom))
            << rack << "\n"
            << run.service().output().substr(backFrom);
    EXPECT_TRUE(rudderWritten(run.sim(), logged));
    EXPECT_TRUE(efisShown(run.logPath("second.jsonl")));
}

}  // namespace
