#include "demo-summary/cockpit_summary.h"

#include <gtest/gtest.h>

#include <map>

namespace demosummary {
namespace {

constexpr std::int64_t kMs = 1'000'000;

Json pressed(const std::string& rack, const std::string& member, bool on, std::int64_t at) {
    return {{"rack", rack}, {"dir", "out"}, {"mono_ns", at}, {"fields", {{member, on ? 1 : 0}}}};
}

Json event(const std::string& name, std::int64_t at) {
    return {{"dir", "in"}, {"request", "TransmitClientEvent"}, {"mono_ns", at},
            {"fields", {{"event", name}, {"data", 0}}}};
}

// Both racks send AP_MASTER; each press is matched to one event in the order the presses
// left the racks, also when the stand-in logged the event a little before the emulator noted
// the press's time (a busy machine), and a second the rack holds down sends nothing more.
TEST(CockpitSummary, ApMasterGoesToTheRackWhosePressSentIt) {
    const Summary summary =
        summarize({event("AP_MASTER", 3995 * kMs), event("AP_SPD_VAR_INC", 4010 * kMs),
                   event("AP_MASTER", 6002 * kMs)},
                  {pressed("joystick", "autopilot_master", true, 4000 * kMs),
                   pressed("joystick", "autopilot_master", true, 4100 * kMs),
                   pressed("joystick", "autopilot_master", false, 4300 * kMs),
                   pressed("fcu", "ap1", true, 6000 * kMs)});
    using Tallies = std::vector<std::pair<std::string, long>>;
    std::map<std::string, Tallies> tallies;
    for (const RackReport& report : summary.racks)
        for (const EventTally& tally : report.events)
            tallies[report.emulated].emplace_back(tally.name, tally.count);
    EXPECT_EQ(tallies["joystick"], (Tallies{{"AP_MASTER", 1}}));
    EXPECT_EQ(tallies["fcu"], (Tallies{{"AP_SPD_VAR_INC", 1}, {"AP_MASTER", 1}}));
}

}  // namespace
}  // namespace demosummary
