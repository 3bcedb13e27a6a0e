#include "tools/demo-summary/cockpit_summary.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace demosummary {
namespace {

constexpr std::int64_t kMs = 1'000'000;

Json pressed(const std::string& rack, const std::string& member, bool on, std::int64_t at) {
    return {{"rack", rack}, {"dir", "out"}, {"mono_ns", at}, {"fields", {{member, on ? 1 : 0}}}};
}

Json event(const std::string& name, std::int64_t at) {
    return {{"dir", "in"},
            {"request", "TransmitClientEvent"},
            {"mono_ns", at},
            {"fields", {{"event", name}, {"data", 0}}}};
}

using Tallies = std::vector<std::pair<std::string, long>>;

// The events the simulator received from a rack, by name and count.
Tallies events(const Summary& summary, const std::string& rack) {
    Tallies found;
    for (const RackReport& report : summary.racks)
        if (report.emulated == rack)
            for (const EventTally& tally : report.events)
                found.emplace_back(tally.name, tally.count);
    return found;
}

// Both racks send AP_MASTER; each press is matched to one event in the order the presses
// left the racks, also when the stand-in logged the event a little before the emulator noted
// the press's time (a busy machine), and a second the rack holds down sends nothing more.
TEST(CockpitSummary, ApMasterGoesToTheRackWhosePressSentIt) {
    const std::vector<Json> rackLog = {
        pressed("joystick", "autopilot_master", true, 4000 * kMs),
        pressed("joystick", "autopilot_master", true, 4100 * kMs),
        pressed("joystick", "autopilot_master", false, 4300 * kMs),
        pressed("fcu", "ap1", true, 6000 * kMs),
    };
    const std::vector<Json> standinLog = {
        event("AP_MASTER", 3995 * kMs),  // before the joystick's press was noted
        event("AP_SPD_VAR_INC", 4010 * kMs),
        event("AP_MASTER", 6002 * kMs),
    };
    const Summary summary = summarize(standinLog, rackLog);
    EXPECT_EQ(events(summary, "joystick"), (Tallies{{"AP_MASTER", 1}}));
    EXPECT_EQ(events(summary, "fcu"), (Tallies{{"AP_SPD_VAR_INC", 1}, {"AP_MASTER", 1}}));
}

}  // namespace
}  // namespace demosummary
