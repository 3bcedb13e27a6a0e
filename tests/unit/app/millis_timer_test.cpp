#include "app/millis_timer.h"

#include <gtest/gtest.h>

#include "tests/support/process.h"

namespace {

using namespace std::chrono_literals;

TEST(MillisTimer, StartsOnceMeasuresAndRestarts) {
    MillisTimer timer;
    EXPECT_EQ(timer.startMs, 0u);
    timer.startIfUnset();
    const std::uint64_t started = timer.startMs;
    EXPECT_GT(started, 0u);
    EXPECT_TRUE(testsupport::waitUntil([&] { return timer.elapsed() >= 5; }, 2s));
    timer.startIfUnset();
    EXPECT_EQ(timer.startMs, started);
    EXPECT_GE(timer.lastElapsed, 5u);

    timer.restart();
    EXPECT_EQ(timer.lastElapsed, 0u);
    EXPECT_GE(timer.startMs, started + 5);
    EXPECT_LT(timer.elapsed(), 1000u);
}

}  // namespace
