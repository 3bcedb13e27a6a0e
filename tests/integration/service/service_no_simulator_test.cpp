// orvendale-fs with no simulator anywhere: it prints its start-up lines and then retries
// every 3 s. The test holds the default pipe's lock, so nothing of ours serves it.
#include <gtest/gtest.h>

#include "testing/service_output.h"
#include "testing/process.h"

namespace {

using namespace std::chrono_literals;
using namespace servicetest;
using Clock = std::chrono::steady_clock;

TEST(ServiceNoSimulator, RetriesEveryThreeSeconds) {
    testsupport::TempDir home, work;
    testsupport::ChildProcess service(serviceOptions(work, home));

    const auto first = service.waitForOutput(kRetry, 10s);
    ASSERT_TRUE(first.has_value()) << service.output();
    const auto firstSeen = Clock::now();
    const auto second = service.waitForOutput(kRetry, 10s, *first + kRetry.size());
    ASSERT_TRUE(second.has_value()) << service.output();
    const auto interval = Clock::now() - firstSeen;
    // The 3 s pause plus one pass over the endpoint plan, which costs a little each time.
    EXPECT_GE(interval, 2900ms);
    EXPECT_LT(interval, 4500ms);
    EXPECT_TRUE(service.running());
    EXPECT_EQ(service.output(), kStartup + kRetry + kRetry);
}

}  // namespace
