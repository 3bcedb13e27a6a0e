// The real orvendale-fs against a simulator played by the test: what it prints, and every
// request it puts on the wire, in order.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "simconnect/request_layout.h"
#include "tests/integration/service/service_output.h"
#include "tests/integration/service/sim_peer.h"
#include "tests/support/process.h"

namespace {

using namespace std::chrono_literals;
using namespace servicetest;
namespace rl = request_layout;

// One line per request: its number, size and fields, so a whole start-up compares as text.
std::string render(const Request& r) {
    std::ostringstream line;
    line << r.id() << " [" << r.bytes.size() << "] ";
    switch (r.id()) {
        case rl::kOpen:
            line << r.text(rl::open::szName);
            break;
        case rl::kAddToDataDefinition:
            line << r.word(16) << " " << r.text(20) << " | " << r.text(276) << " " << r.word(532)
                 << " " << r.real(536) << " " << r.word(540);
            break;
        case rl::kRequestDataOnSimObject:
        case rl::kRequestClientData:
            for (std::size_t at = 16; at < 48; at += 4) line << r.word(at) << (at < 44 ? " " : "");
            break;
        case rl::kSubscribeToSystemEvent:
        case rl::kMapClientEventToSimEvent:
            line << r.word(16) << " " << r.text(20);
            break;
        case rl::kAddToClientDataDefinition:
            line << r.word(16) << " " << r.word(20) << " " << r.word(24) << " " << r.real(28) << " "
                 << r.word(32);
            break;
        case rl::kMapClientDataNameToID:
            line << r.text(16) << " " << r.word(272);
            break;
        default:
            line << "?";
    }
    return line.str();
}

const char* const kExpectedSetup[] = {
    "1 [296] OrvendaleFlightRacks",
    "12 [544] 2 AILERON POSITION | percent 4 0 4294967295",
    "12 [544] 2 ELEVATOR POSITION | percent 4 0 4294967295",
    "12 [544] 2 SMART CAMERA ACTIVE | Bool 4 0 4294967295",
    "12 [544] 3 RUDDER POSITION | position 16K 4 0 4294967295",
    "12 [544] 4 KOHLSMAN SETTING MB:1 | Millibars 4 0 4294967295",
    "12 [544] 4 AUTOPILOT FLIGHT DIRECTOR ACTIVE | Bool 4 0 4294967295",
    "14 [48] 4 4 0 4 1 0 0 0",
    "12 [544] 5 AUTOPILOT AIRSPEED HOLD VAR | knots 4 0 4294967295",
    "12 [544] 5 AUTOPILOT HEADING LOCK DIR | degrees 4 0 4294967295",
    "12 [544] 5 AUTOPILOT ALTITUDE LOCK VAR:3 | feet 4 0 4294967295",
    "14 [48] 5 5 0 4 1 0 0 0",
    "23 [276] 0 SimStart",
    "4 [276] 1 AP_MASTER",
    "4 [276] 2 RUDDER_TRIM_LEFT",
    "4 [276] 3 RUDDER_TRIM_RIGHT",
    "4 [276] 5 SPOILERS_DEC",
    "4 [276] 4 SPOILERS_INC",
    "4 [276] 7 AXIS_LEFT_BRAKE_SET",
    "4 [276] 6 AXIS_RIGHT_BRAKE_SET",
    "4 [276] 8 KOHLSMAN_INC",
    "4 [276] 9 KOHLSMAN_DEC",
    "4 [276] 10 TOGGLE_FLIGHT_DIRECTOR",
    "4 [276] 11 AP_SPD_VAR_INC",
    "4 [276] 12 AP_SPD_VAR_DEC",
    "4 [276] 13 AP_AIRSPEED_ON",
    "4 [276] 14 AP_AIRSPEED_OFF",
    "4 [276] 15 AP_HDG_HOLD_ON",
    "4 [276] 16 AP_HDG_HOLD_OFF",
    "4 [276] 17 HEADING_BUG_INC",
    "4 [276] 18 HEADING_BUG_DEC",
    "4 [276] 19 AP_LOC_HOLD",
    "4 [276] 20 AUTO_THROTTLE_ARM",
    "4 [276] 21 AP_ALT_HOLD_ON",
    "4 [276] 22 AP_ALT_HOLD_OFF",
    "4 [276] 23 AP_ALT_VAR_INC",
    "4 [276] 24 AP_ALT_VAR_DEC",
    "4 [276] 27 AP_VS_HOLD",
    "4 [276] 25 AP_VS_ON",
    "4 [276] 26 AP_VS_OFF",
    "4 [276] 28 AP_VS_VAR_INC",
    "4 [276] 29 AP_VS_VAR_DEC",
    "4 [276] 30 AP_APR_HOLD",
    "57 [36] 5321 0 132 0 4294967295",
    "55 [276] orvendale.downlink 5321",
    "55 [276] orvendale.uplink 5322",
    "59 [48] 5321 5322 5321 3 1 0 0 0",
};

TEST(ServiceWire, DeclaresEverythingInOrderThenDispatchesUntilQuit) {
    const std::string pipe = "orvendale-service-wire-" + std::to_string(getpid());
    SimPeer peer(pipe);
    testsupport::TempDir home;
    testsupport::TempDir work;
    work.write("SimConnect.cfg", pipeConfig(pipe));
    work.write("rack_config.json", "{}");
    testsupport::ChildProcess service(serviceOptions(work, home));

    ASSERT_TRUE(peer.accept(10s)) << service.output();
    std::uint32_t sendId = 0;
    for (const char* expected : kExpectedSetup) {
        const auto request = peer.next(10s);
        ASSERT_TRUE(request.has_value()) << "missing: " << expected;
        EXPECT_EQ(render(*request), expected);
        EXPECT_EQ(request->sendId(), ++sendId);
    }
    ASSERT_TRUE(service.waitForOutput(kLaunch, 10s));

    peer.send(openAnswer("KittyHawk"));
    peer.send(message(1, {29, 7, 1}));  // an exception
    peer.send(message(7, {}));          // a kind the service does not handle
    peer.send(message(3, {}));          // quit
    ASSERT_EQ(service.waitExit(10s), 0) << service.output();
    EXPECT_EQ(service.output(),
              kStartup + kConnected + kLaunch +
                  "[OK] Connection Opened !\n==== [INFO] ====\n"
                  "\tApp name: KittyHawk\n\tApp Major Vrs: 11\n\tApp Minor Vrs: 12\n"
                  "\tApp Build Major: 13\n\tApp Build Minor: 14\n"
                  "\tSim Connect Version Major: 15\n\tSim Connect Version Minor: 16\n"
                  "\tSim Connect Build Major: 17\n\tSim Connect Build Minor: 18\n"
                  "\n[WARN] Exception ID:29\n\nReceived:7\n" +
                  kQuit);
    // Nothing follows the setup: no rack is configured, and close sends nothing.
    EXPECT_FALSE(peer.next(200ms).has_value());
}

}  // namespace
