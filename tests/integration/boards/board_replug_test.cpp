// The racks' firmware on emulated boards unplugged and plugged back while the service runs:
// the service takes the pedals' and the EFIS's boards up again on the same links, once
// they are back, and serves them as before.
#include <gtest/gtest.h>

#include "testing/replug_run.h"

namespace {

using namespace racktest;

const std::vector<std::string> kBoardSim = {"board-sim", "--firmware", ORVENDALE_FIRMWARE_DIR};

bool efisShown(const std::string& log) {
    const auto shown = [](const Json& e) { return e.value("rack", "") == "efis" && e.value("event", "") == "display"; };
    return testsupport::RackLog(log).waitFor(shown, 10s).has_value();
}

TEST(BoardReplug, BoardsUnpluggedAndPluggedBack) {
    RackRun run({});
    ASSERT_TRUE(run.simulatorReady());
    Boards boards;
    auto plugged = boards.plug({"pedals", "efis"}, "first.jsonl", kBoardSim);
    const Json config = {{boards.link("pedals"), "pedals_rack"}, {boards.link("efis"), "efis_rack"}};
    const auto service = run.launch(config.dump());
    testsupport::ChildProcess& out = *service->process;
    ASSERT_TRUE(rudderWritten(run.sim(), 0)) << out.output();
    ASSERT_TRUE(efisShown(boards.logPath("first.jsonl")));

    const std::size_t goneFrom = out.output().size();
    Boards::unplug(plugged);
    ASSERT_TRUE(out.waitForOutput("[WARN] Cannot READ From Rack pedals_rack", 5s, goneFrom)) << out.output();

    const std::size_t backFrom = out.output().size();
    const std::size_t logged = run.sim().size();
    plugged = boards.plug({"pedals", "efis"}, "second.jsonl", kBoardSim);
    for (const char* rack : {"pedals", "efis"})
        EXPECT_TRUE(out.waitForOutput(
            std::string("[OK] Rack: ") + rack + "_rack Connected on Port: " + boards.port(rack) + "\n", 5s,
            backFrom))
            << rack << "\n" << out.output().substr(backFrom);
    EXPECT_TRUE(rudderWritten(run.sim(), logged));
    EXPECT_TRUE(efisShown(boards.logPath("second.jsonl")));
}

}  // namespace
