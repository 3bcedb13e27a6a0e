#include "tools/rack-emulator/emulator.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/process.h"
#include "tests/support/rack_log.h"

namespace rackemu {
namespace {

using namespace std::chrono_literals;

// A line that keeps what was written, with a reader as slow as the test wants.
class MemoryLine : public RackLine {
public:
    bool writeAll(std::span<const std::uint8_t> bytes) override {
        writes.emplace_back(bytes.begin(), bytes.end());
        return true;
    }
    std::size_t unreadBytes() override { return unread; }

    std::vector<Bytes> writes;
    std::size_t unread = 0;
};

class EmulatorTest : public ::testing::Test {
protected:
    EmulatorTest() : log(t0) { log.open(dir.file("log")); }

    Clock::time_point at(std::chrono::milliseconds offset) const { return t0 + offset; }
    std::int32_t lastFcu(std::size_t offset) const { return getInt32(fcu.writes.back(), offset); }

    testsupport::TempDir dir;
    Clock::time_point t0 = Clock::now();
    EventLog log;
    std::ostringstream out;
    std::ostringstream err;
    MemoryLine fcu;
    MemoryLine pedals;
};

TEST_F(EmulatorTest, SendsSteadilyWithActionsInTheFrameDueWithThem) {
    Emulator emulator(log, out, err, false);
    emulator.addRack(RackKind::Fcu, fcu, 100ms);
    emulator.step(at(0ms));
    ASSERT_EQ(fcu.writes.size(), 1u);
    EXPECT_EQ(emulator.nextWake(), at(100ms));

    emulator.controlLine("turn fcu spd 5", at(10ms));
    emulator.controlLine("+0.15 hold fcu loc 0.1", at(10ms));
    emulator.step(at(60ms));
    EXPECT_EQ(fcu.writes.size(), 1u);
    emulator.step(at(100ms));
    EXPECT_EQ(lastFcu(1), 5);
    EXPECT_EQ(emulator.nextWake(), at(160ms));  // the hold starts before the next frame
    emulator.step(at(160ms));
    emulator.step(at(200ms));
    EXPECT_EQ(lastFcu(1), 0);
    EXPECT_EQ(lastFcu(33), 1);
    emulator.step(at(260ms));  // end of hold
    emulator.step(at(300ms));
    EXPECT_EQ(lastFcu(33), 0);

    // After a stall the cadence starts again from now instead of sending a burst.
    emulator.step(at(1000ms));
    emulator.step(at(1001ms));
    EXPECT_EQ(fcu.writes.size(), 5u);
    EXPECT_EQ(emulator.nextWake(), at(1100ms));
}

TEST_F(EmulatorTest, BacklogHoldsSendsBackAndKeepsTheirContent) {
    Emulator emulator(log, out, err, false);
    emulator.addRack(RackKind::Fcu, fcu, 100ms);
    fcu.unread = backlogLimit;
    emulator.controlLine("turn fcu hdg -3", at(0ms));
    emulator.step(at(0ms));
    emulator.step(at(100ms));
    EXPECT_TRUE(fcu.writes.empty());
    fcu.unread = 0;
    emulator.step(at(200ms));
    ASSERT_EQ(fcu.writes.size(), 1u);
    EXPECT_EQ(lastFcu(5), -3);

    testsupport::RackLog entries(dir.file("log"));
    EXPECT_TRUE(entries.waitForEvent("backlog", 0ms));
    EXPECT_TRUE(entries.waitForEvent("drained", 0ms));
    EXPECT_EQ(entries.frames("fcu", "out").size(), 1u);
}

TEST_F(EmulatorTest, ScriptCanWaitForTheServiceToOpenTheDevice) {
    Emulator emulator(log, out, err, false);
    emulator.addRack(RackKind::Fcu, fcu, 100ms);
    emulator.schedule({{0.0, parseActionLine("turn fcu alt 2").action}}, true);
    emulator.step(at(0ms));
    emulator.step(at(100ms));
    emulator.deviceOpened(at(150ms));
    emulator.deviceOpened(at(160ms));  // a second open does not run the script again
    emulator.step(at(200ms));
    emulator.step(at(300ms));
    ASSERT_EQ(fcu.writes.size(), 4u);
    EXPECT_EQ(getInt32(fcu.writes[1], 9), 0);
    EXPECT_EQ(getInt32(fcu.writes[2], 9), 2);
    EXPECT_EQ(getInt32(fcu.writes[3], 9), 0);
}

TEST_F(EmulatorTest, RawMessagesControlErrorsAndDisplays) {
    Emulator emulator(log, out, err, false);
    emulator.addRack(RackKind::Pedals, pedals, 50ms);
    emulator.addRack(RackKind::Fcu, fcu, 100ms);
    EXPECT_THROW(emulator.schedule({{1.0, parseActionLine("press joystick x").action}}),
                 ActionError);

    emulator.controlLine("raw pedals {\"rudder_position\":1", at(0ms));
    emulator.controlLine("turn efis baro 1", at(0ms));  // no EFIS in this run
    emulator.controlLine("bogus", at(0ms));
    emulator.step(at(0ms));
    emulator.step(at(50ms));
    ASSERT_EQ(pedals.writes.size(), 2u);
    EXPECT_EQ(std::string(pedals.writes[0].begin(), pedals.writes[0].end()),
              "{\"rudder_position\":1");
    EXPECT_EQ(pedals.writes[1].front(), '{');
    EXPECT_EQ(pedals.writes[1].back(), '}');
    EXPECT_EQ(err.str(),
              "rack-emulator: control: rack not emulated in this run: efis\n"
              "rack-emulator: control: unknown action: bogus\n");

    // A display line is printed when the display changes, not for every frame.
    Bytes frame = emptyFrame(panelOutputLayout(RackKind::Fcu));
    putInt32(frame, 5, 250);
    emulator.received(RackKind::Fcu, frame, at(60ms));
    emulator.received(RackKind::Fcu, frame, at(160ms));
    EXPECT_EQ(out.str(), "fcu: SPD 250  HDG ---  ALT 0  V/S +0\n");

    emulator.controlLine("quit", at(200ms));
    emulator.step(at(200ms));
    EXPECT_TRUE(emulator.finished());
}

}  // namespace
}  // namespace rackemu
