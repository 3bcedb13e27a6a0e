// The real orvendale-fs against a simulator played by the test: what it prints, and every
// request it puts on the wire, in order.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <sstream>

#include "testing/loopback_peer.h"
#include "simconnect/request_layout.h"
#include "testing/service_output.h"

namespace {

using namespace std::chrono_literals;
using namespace servicetest;
using loopback_peer::Bytes;
namespace rl = request_layout;

// One line per request: its number, size and fields (a float's bits as a word), so a whole
// start-up compares as text.
std::string render(const Bytes& r) {
    const auto word = [&](std::size_t at) { return loopback_peer::U32At(r, at); };
    const auto text = [&](std::size_t at) {
        const char* start = reinterpret_cast<const char*>(r.data() + std::min(at, r.size()));
        return std::string(start, strnlen(start, r.size() - std::min(at, r.size())));
    };
    std::ostringstream line;
    const std::uint32_t id = word(8) - rl::kIdBase;
    line << id << " [" << r.size() << "] ";
    switch (id) {
        case rl::kOpen:
            line << text(rl::open::szName);
            break;
        case rl::kAddToDataDefinition:
            line << word(16) << " " << text(20) << " | " << text(276) << " " << word(532) << " " << word(536)
                 << " " << word(540);
            break;
        case rl::kRequestDataOnSimObject:
        case rl::kRequestClientData:
            for (std::size_t at = 16; at < 48; at += 4) line << word(at) << (at < 44 ? " " : "");
            break;
        case rl::kSubscribeToSystemEvent:
        case rl::kMapClientEventToSimEvent:
            line << word(16) << " " << text(20);
            break;
        case rl::kAddToClientDataDefinition:
            line << word(16) << " " << word(20) << " " << word(24) << " " << word(28) << " " << word(32);
            break;
        case rl::kMapClientDataNameToID:
            line << text(16) << " " << word(272);
            break;
        default:
            line << "?";
    }
    return line.str();
}

// The start-up's requests: the data definitions and SimStart, the event mappings, then
// the client data areas.
const char* const kDataAndStart[] = {
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
};
const char* const kClientData[] = {
    "57 [36] 5321 0 132 0 4294967295",
    "55 [276] orvendale.downlink 5321",
    "55 [276] orvendale.uplink 5322",
    "59 [48] 5321 5322 5321 3 1 0 0 0",
};
const char* const kEvents[] = {
    "1 AP_MASTER", "2 RUDDER_TRIM_LEFT", "3 RUDDER_TRIM_RIGHT", "5 SPOILERS_DEC", "4 SPOILERS_INC",
    "7 AXIS_LEFT_BRAKE_SET", "6 AXIS_RIGHT_BRAKE_SET", "8 KOHLSMAN_INC", "9 KOHLSMAN_DEC",
    "10 TOGGLE_FLIGHT_DIRECTOR", "11 AP_SPD_VAR_INC", "12 AP_SPD_VAR_DEC", "13 AP_AIRSPEED_ON",
    "14 AP_AIRSPEED_OFF", "15 AP_HDG_HOLD_ON", "16 AP_HDG_HOLD_OFF", "17 HEADING_BUG_INC",
    "18 HEADING_BUG_DEC", "19 AP_LOC_HOLD", "20 AUTO_THROTTLE_ARM", "21 AP_ALT_HOLD_ON",
    "22 AP_ALT_HOLD_OFF", "23 AP_ALT_VAR_INC", "24 AP_ALT_VAR_DEC", "27 AP_VS_HOLD", "25 AP_VS_ON",
    "26 AP_VS_OFF", "28 AP_VS_VAR_INC", "29 AP_VS_VAR_DEC", "30 AP_APR_HOLD",
};

std::vector<std::string> expectedSetup() {
    std::vector<std::string> lines(std::begin(kDataAndStart), std::end(kDataAndStart));
    for (const char* event : kEvents) lines.push_back(std::string("4 [276] ") + event);
    lines.insert(lines.end(), std::begin(kClientData), std::end(kClientData));
    return lines;
}

TEST(ServiceWire, DeclaresEverythingInOrderThenDispatchesUntilQuit) {
    const std::string pipe = "orvendale-service-wire-" + std::to_string(getpid());
    auto listener = loopback_peer::Listener::Pipe("\\\\.\\pipe\\" + pipe);
    ASSERT_TRUE(listener);
    testsupport::TempDir home, work;
    work.write("SimConnect.cfg", pipeConfig(pipe));
    work.write("rack_config.json", "{}");
    testsupport::ChildProcess service(serviceOptions(work, home));

    auto peer = listener->Accept(10s);
    ASSERT_TRUE(peer) << service.output();
    std::uint32_t sendId = 0;
    for (const std::string& expected : expectedSetup()) {
        const Bytes request = peer->ReadMessage(10s);
        ASSERT_FALSE(request.empty()) << "missing: " << expected;
        EXPECT_EQ(render(request), expected);
        EXPECT_EQ(loopback_peer::U32At(request, 12), ++sendId);
    }
    ASSERT_TRUE(service.waitForOutput(kLaunch, 10s));

    // An open answer (256 bytes of name, then eight version words and two more), an
    // exception, a kind the service does not handle, and the quit.
    std::vector<std::uint32_t> open(74, 0);
    for (std::uint32_t i = 0; i < 8; ++i) open[64 + i] = 11 + i;
    Bytes answer = loopback_peer::MakeMessage(2, open);
    std::memcpy(answer.data() + 12, "KittyHawk", 9);
    for (const Bytes& message : {answer, loopback_peer::MakeMessage(1, {29, 7, 1}),
                                 loopback_peer::MakeMessage(7, {}), loopback_peer::MakeMessage(3, {})})
        ASSERT_TRUE(peer->Write(message));
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
    EXPECT_TRUE(peer->ReadMessage(200ms).empty());
}

}  // namespace
