// The stand-in's protocol without sockets: requests fed to the Simulator on a clock the
// test sets, answers read back from its output.
#include <gtest/gtest.h>

#include <array>
#include <sstream>

#include "simconnect/SimConnect.h"
#include "testing/request_bytes.h"
#include "sim-standin/server/simulator.h"

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

    // Feeds requests at `at` after the start, in two reads cut inside a request, and
    // returns what the stand-in sent for them.
    std::vector<Bytes> send(const std::vector<Bytes>& requests, Clock::duration at = 0s) {
        Bytes stream;
        for (const Bytes& r : requests) stream = join(stream, r);
        const std::size_t cut = stream.size() / 2 + 1;
        simulator_.receive(1, stream.data(), cut, start_ + at);
        simulator_.receive(1, stream.data() + cut, stream.size() - cut, start_ + at);
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

private:
    Clock::time_point start_ = Clock::now();
    standin::RequestLog log_{start_};
    std::ostringstream console_;
    standin::Simulator simulator_;
};

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

TEST(StandinSession, SimStartFollowsTheFlightStartOncePerSubscription) {
    // The example shipped with the stand-in starts the flight at 1 s.
    const standin::ScriptLoad example = standin::loadScript(STANDIN_SOURCE_DIR "/examples/short_flight.jsonl");
    ASSERT_EQ(example.error, "");
    standin::SimulatorConfig config;
    config.flightStarted = false;
    config.script = example.actions;
    Harness h(config);
    h.opened();
    EXPECT_TRUE(h.send({subscribe(2, 0, "SimStart")}).empty());
    EXPECT_EQ(h.nextWake(), Clock::duration(1s));
    const auto out = h.advance(1s);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], words({24, 5, SIMCONNECT_RECV_ID_EVENT, kUnused, 0, 0}));
    EXPECT_TRUE(h.advance(3s).empty());
    EXPECT_EQ(h.rejection(subscribe(3, 0, "SimStart"))[0], SIMCONNECT_EXCEPTION_EVENT_ID_DUPLICATE);
}

}  // namespace
