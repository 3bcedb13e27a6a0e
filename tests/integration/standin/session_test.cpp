// The stand-in's protocol without sockets: requests fed to the Simulator on a clock the
// test sets, answers read back from its output.
#include <gtest/gtest.h>

#include <array>
#include <sstream>

#include "simconnect/SimConnect.h"
#include "tests/support/request_bytes.h"
#include "tools/sim-standin/simulator.h"

namespace {

using namespace wirebytes;
using standin::Clock;
using namespace std::chrono_literals;

// An exception's dwException, dwSendID and dwIndex.
using Exception = std::array<std::uint32_t, 3>;
constexpr std::uint32_t kUnused = SIMCONNECT_UNUSED;

class Harness {
public:
    explicit Harness(standin::SimulatorConfig config = {})
        : simulator_(std::move(config), log_, console_, start_) {
        simulator_.connect("pipe", start_);
    }

    // Feeds requests at `at` after the start and returns what the stand-in sent for them.
    std::vector<Bytes> send(const std::vector<Bytes>& requests, Clock::duration at = 0s) {
        Bytes stream;
        for (const Bytes& r : requests) stream = join(stream, r);
        simulator_.receive(1, stream.data(), stream.size(), start_ + at);
        return advance(at);
    }
    std::vector<Bytes> advance(Clock::duration at) {
        simulator_.advance(start_ + at);
        return splitMessages(simulator_.takeOutput(1));
    }
    std::vector<Bytes> opened() { return send({openRequest()}); }
    // The exception one request draws.
    Exception rejection(const Bytes& request) {
        const auto out = send({request});
        if (out.size() != 1 || messageId(out[0]) != SIMCONNECT_RECV_ID_EXCEPTION || out[0].size() != 24)
            return {};
        return {get32(out[0], 12), get32(out[0], 16), get32(out[0], 20)};
    }
    std::optional<Clock::duration> nextWake() const {
        const auto wake = simulator_.nextWake();
        return wake ? std::optional(*wake - start_) : std::nullopt;
    }
    standin::Simulator& simulator() { return simulator_; }

private:
    Clock::time_point start_ = Clock::now();
    standin::RequestLog log_{start_};
    std::ostringstream console_;
    standin::Simulator simulator_;
};

TEST(StandinSession, OpenAnswerCarriesTheConfiguredVersionsAndComesOnce) {
    standin::SimulatorConfig config;
    config.rules.openAnswer.applicationName = "TestSim";
    config.rules.openAnswer.application = {1, 2, 3, 4};
    config.rules.openAnswer.reserved1 = 77;
    Harness h(config);
    EXPECT_EQ(h.rejection(mapEvent(1, 1, "AP_MASTER")),
              (Exception{SIMCONNECT_EXCEPTION_UNOPENED, 1, kUnused}));
    const auto out = h.opened();
    ASSERT_EQ(out.size(), 1u);
    const Bytes& open = out[0];
    EXPECT_EQ(Bytes(open.begin(), open.begin() + 12), words({308, 5, SIMCONNECT_RECV_ID_OPEN}));
    EXPECT_STREQ(reinterpret_cast<const char*>(&open[12]), "TestSim");
    // The application's versions, the SimConnect version by default, and the reserved word.
    EXPECT_EQ(Bytes(open.begin() + 268, open.end()), words({1, 2, 3, 4, 11, 0, 62651, 3, 77, 0}));
    EXPECT_EQ(h.rejection(openRequest(9)), (Exception{SIMCONNECT_EXCEPTION_ERROR, 9, kUnused}));
}

TEST(StandinSession, ExceptionsCarryTheRejectedSendIdAndArgument) {
    standin::SimulatorConfig config;
    config.rules.rejectedNames = {"AP_MASTER"};
    Harness h(config);
    h.opened();
    Bytes tooLong = transmit(6, 1);
    tooLong.resize(40);
    tooLong[0] = 40;
    const std::pair<Bytes, Exception> cases[] = {
        {request(0x99, 5, words({1})), {SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 5, kUnused}},
        {tooLong, {SIMCONNECT_EXCEPTION_SIZE_MISMATCH, 6, kUnused}},
        {mapEvent(7, 1, "NO_SUCH_EVENT"), {SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 7, 2}},
        {mapEvent(8, 1, "AP_MASTER"), {SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 8, 2}},
        {addDatum(9, 4, "NO SUCH VAR", "feet"), {SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 9, 2}},
        {addDatum(10, 4, "AUTOPILOT ALTITUDE LOCK VAR:3", "knots"),
         {SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 10, 3}},
        {mapClientData(11, "orvendale.nothing", 1),
         {SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 11, 1}},
        {requestData(12, 4, 99), {SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 12, 2}},
        {transmit(13, 42), {SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 13, 2}},
        {setClientData(14, 5321, 5321, Bytes(132)), {SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 14, 1}},
    };
    for (const auto& [request, expected] : cases) EXPECT_EQ(h.rejection(request), expected);

    // Accepted requests answer nothing; a second mapping of an event id is refused.
    EXPECT_TRUE(h.send({mapEvent(15, 1, "HEADING_BUG_INC"), transmit(16, 1)}).empty());
    EXPECT_EQ(h.rejection(mapEvent(17, 1, "HEADING_BUG_DEC"))[0], SIMCONNECT_EXCEPTION_EVENT_ID_DUPLICATE);
    // Events of the client's own (private or custom) are accepted and change nothing.
    EXPECT_TRUE(h.send({mapEvent(18, 2, ""), mapEvent(19, 3, "Orvendale.Custom"), transmit(20, 3)}).empty());
}

TEST(StandinSession, ObjectDataAtMostOnceASecondAndOnlyOnChange) {
    Harness h;
    h.opened();
    auto out = h.send({addDatum(2, 4, "KOHLSMAN SETTING MB:1", "Millibars"),
                       addDatum(3, 4, "AUTOPILOT FLIGHT DIRECTOR ACTIVE", "Bool"), requestData(4, 4, 4),
                       mapEvent(5, 8, "KOHLSMAN_INC")});
    ASSERT_EQ(out.size(), 1u);  // the first answer goes out at once
    EXPECT_EQ(Bytes(out[0].begin(), out[0].begin() + 16),
              words({56, 5, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 4}));
    EXPECT_EQ(get32(out[0], 36), 2u);  // dwDefineCount
    EXPECT_DOUBLE_EQ(getDouble(out[0], 40), 1013.25);
    EXPECT_DOUBLE_EQ(getDouble(out[0], 48), 1.0);

    EXPECT_TRUE(h.send({transmit(6, 8)}, 400ms).empty());  // changed, but within the second
    EXPECT_TRUE(h.advance(999ms).empty());
    EXPECT_EQ(h.nextWake(), Clock::duration(1s));
    out = h.advance(1s);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_DOUBLE_EQ(getDouble(out[0], 40), 1014.25);
    // Nothing changes: nothing is sent, and nothing is due, so the server can sleep.
    EXPECT_TRUE(h.advance(5s).empty());
    EXPECT_FALSE(h.nextWake());
}

// The downlink's change on an uplink command is checked through the client library
// (client_test); here, what the object data and an unchanged block do.
TEST(StandinSession, UplinkCommandsReachTheSimulationVariablesAndOnlyChangesSendABlock) {
    Harness h;
    h.opened();
    auto out = h.send({addClientDatum(2, 5321, 0, 132), mapClientData(3, "orvendale.downlink", 5321),
                       mapClientData(4, "orvendale.uplink", 5322), requestClientData(5, 5321, 5322, 5321),
                       addDatum(6, 5, "AUTOPILOT AIRSPEED HOLD VAR", "knots"), requestData(7, 5, 5)});
    ASSERT_EQ(out.size(), 2u);
    out = h.send({setClientData(8, 5322, 5321, uplinkBlock(1, 3, "A32NX_AUTOPILOT_SPEED_SELECTED", 300))});
    ASSERT_EQ(out.size(), 1u);  // the object data waits for its second
    out = h.advance(1s);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_DOUBLE_EQ(getDouble(out[0], 40), 300.0);  // the simulation variable agrees
    // A command that changes no slot sends no block; the downlink is the companion's alone.
    EXPECT_TRUE(h.send({setClientData(10, 5322, 5321, uplinkBlock(3, 3, "NOT_A_VARIABLE", 1))}, 1s).empty());
    EXPECT_EQ(h.rejection(setClientData(11, 5321, 5321, Bytes(132)))[0], SIMCONNECT_EXCEPTION_ERROR);
}

TEST(StandinSession, SimStartFollowsTheFlightStartOncePerSubscription) {
    standin::SimulatorConfig config;
    config.flightStarted = false;
    std::istringstream script(R"({"at": 2, "start_flight": true})");
    config.script = standin::parseScript(script).actions;
    Harness h(config);
    h.opened();
    EXPECT_TRUE(h.send({subscribe(2, 0, "SimStart")}).empty());
    EXPECT_EQ(h.nextWake(), Clock::duration(2s));
    const auto out = h.advance(2s);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], words({24, 5, SIMCONNECT_RECV_ID_EVENT, kUnused, 0, 0}));
    EXPECT_TRUE(h.advance(3s).empty());
    EXPECT_EQ(h.rejection(subscribe(3, 0, "SimStart"))[0], SIMCONNECT_EXCEPTION_EVENT_ID_DUPLICATE);
}

TEST(StandinSession, SilentSimulatorAnswersNothingButQuits) {
    standin::SimulatorConfig config;
    config.rules.silent = true;
    Harness h(config);
    EXPECT_TRUE(h.send({openRequest(), mapEvent(2, 1, "NOPE")}).empty());
    h.simulator().quit("test", Clock::now());
    EXPECT_EQ(h.advance(0s), std::vector<Bytes>{words({12, 5, SIMCONNECT_RECV_ID_QUIT})});
}

TEST(StandinSession, DeclarationsAreBounded) {
    Harness h;
    h.opened();
    std::vector<Bytes> maps;
    for (std::uint32_t id = 0; id < 2000; ++id) maps.push_back(mapEvent(id + 2, id, "AP_MASTER"));
    EXPECT_TRUE(h.send(maps).empty());
    EXPECT_EQ(h.rejection(mapEvent(5000, 5000, "AP_MASTER"))[0], SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS);
}

}  // namespace
