// The stand-in's protocol without sockets: requests fed to the Simulator on a clock the
// test sets, answers read back from its output.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "simconnect/SimConnect.h"
#include "tests/integration/standin/request_bytes.h"
#include "tools/sim-standin/simulator.h"

namespace {

using namespace standin_test;
using standin::Clock;
using namespace std::chrono_literals;

struct Exception {
    std::uint32_t code, sendId, index;
};

class Harness {
public:
    explicit Harness(standin::SimulatorConfig config = {})
        : simulator_(std::move(config), log_, console_, start_) {
        id_ = simulator_.connect("pipe", start_);
    }

    // Feeds requests at `at` after the start and returns what the stand-in sent for them.
    std::vector<Bytes> send(const std::vector<Bytes>& requests, Clock::duration at = 0s) {
        Bytes stream;
        for (const Bytes& r : requests) stream.insert(stream.end(), r.begin(), r.end());
        simulator_.receive(id_, stream.data(), stream.size(), start_ + at);
        return advance(at);
    }
    std::vector<Bytes> advance(Clock::duration at) {
        simulator_.advance(start_ + at);
        return splitMessages(simulator_.takeOutput(id_));
    }
    std::vector<Bytes> opened(Clock::duration at = 0s) { return send({openRequest()}, at); }

    standin::Simulator& simulator() { return simulator_; }
    Clock::time_point start() const { return start_; }

private:
    Clock::time_point start_ = Clock::now();
    standin::RequestLog log_{start_};
    std::ostringstream console_;
    standin::Simulator simulator_;
    std::uint32_t id_ = 0;
};

Exception exceptionOf(const Bytes& message) {
    EXPECT_EQ(messageId(message), SIMCONNECT_RECV_ID_EXCEPTION);
    EXPECT_EQ(message.size(), 24u);
    return {get32(message, 12), get32(message, 16), get32(message, 20)};
}

// The exception one request draws, from an opened session.
Exception rejection(Harness& h, const Bytes& request) {
    const auto out = h.send({request});
    EXPECT_EQ(out.size(), 1u);
    return out.empty() ? Exception{} : exceptionOf(out[0]);
}

TEST(StandinSession, OpenAnswerCarriesTheConfiguredVersions) {
    standin::SimulatorConfig config;
    config.rules.openAnswer.applicationName = "TestSim";
    config.rules.openAnswer.application = {1, 2, 3, 4};
    config.rules.openAnswer.reserved1 = 77;
    Harness h(config);
    const auto out = h.opened();
    ASSERT_EQ(out.size(), 1u);
    const Bytes& open = out[0];
    EXPECT_EQ(open.size(), 308u);
    EXPECT_EQ(get32(open, 4), 5u);
    EXPECT_EQ(messageId(open), SIMCONNECT_RECV_ID_OPEN);
    EXPECT_STREQ(reinterpret_cast<const char*>(&open[12]), "TestSim");
    EXPECT_EQ(get32(open, 268), 1u);
    EXPECT_EQ(get32(open, 280), 4u);
    EXPECT_EQ(get32(open, 284), 11u);  // SimConnect version by default
    EXPECT_EQ(get32(open, 292), 62651u);
    EXPECT_EQ(get32(open, 300), 77u);

    const Exception second = rejection(h, openRequest(9));
    EXPECT_EQ(second.code, SIMCONNECT_EXCEPTION_ERROR);
    EXPECT_EQ(second.sendId, 9u);
}

TEST(StandinSession, RequestsBeforeOpenAreRefused) {
    Harness h;
    const Exception early = rejection(h, mapEvent(1, 1, "AP_MASTER"));
    EXPECT_EQ(early.code, SIMCONNECT_EXCEPTION_UNOPENED);
    EXPECT_EQ(early.sendId, 1u);
}

TEST(StandinSession, ExceptionsCarryTheRejectedSendIdAndArgument) {
    standin::SimulatorConfig config;
    config.rules.rejectedNames = {"AP_MASTER"};
    Harness h(config);
    h.opened();

    Bytes unknown = request(0x99, 5, words({1}));
    Exception e = rejection(h, unknown);
    EXPECT_EQ(e.code, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID);
    EXPECT_EQ(e.sendId, 5u);
    EXPECT_EQ(e.index, SIMCONNECT_UNUSED);

    Bytes tooLong = transmit(6, 1);
    tooLong.resize(40);
    tooLong[0] = 40;
    e = rejection(h, tooLong);
    EXPECT_EQ(e.code, SIMCONNECT_EXCEPTION_SIZE_MISMATCH);
    EXPECT_EQ(e.sendId, 6u);

    e = rejection(h, mapEvent(7, 1, "NO_SUCH_EVENT"));
    EXPECT_EQ(e.code, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED);
    EXPECT_EQ(e.sendId, 7u);
    EXPECT_EQ(e.index, 2u);
    EXPECT_EQ(rejection(h, mapEvent(8, 1, "AP_MASTER")).code,
              SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED);
    EXPECT_EQ(rejection(h, addDatum(9, 4, "NO SUCH VAR", "feet")).index, 2u);
    e = rejection(h, addDatum(10, 4, "AUTOPILOT ALTITUDE LOCK VAR:3", "knots"));
    EXPECT_EQ(e.code, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED);
    EXPECT_EQ(e.index, 3u);
    EXPECT_EQ(rejection(h, mapClientData(11, "orvendale.nothing", 1)).code,
              SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED);

    e = rejection(h, requestData(12, 4, 99));
    EXPECT_EQ(e.code, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID);
    EXPECT_EQ(e.index, 2u);
    EXPECT_EQ(rejection(h, transmit(13, 42)).code, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID);
    EXPECT_EQ(rejection(h, setClientData(14, 5321, 5321, Bytes(132))).code,
              SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID);

    // Accepted requests answer nothing.
    EXPECT_TRUE(h.send({mapEvent(15, 1, "HEADING_BUG_INC"), transmit(16, 1)}).empty());
    EXPECT_EQ(rejection(h, mapEvent(17, 1, "HEADING_BUG_DEC")).code,
              SIMCONNECT_EXCEPTION_EVENT_ID_DUPLICATE);
    // Events of the client's own (private or custom) are accepted and change nothing.
    EXPECT_TRUE(h.send({mapEvent(18, 2, ""), mapEvent(19, 3, "Orvendale.Custom"), transmit(20, 3)})
                    .empty());
}

TEST(StandinSession, ObjectDataAtMostOnceASecondAndOnlyOnChange) {
    Harness h;
    h.opened();
    auto out = h.send({addDatum(2, 4, "KOHLSMAN SETTING MB:1", "Millibars"),
                       addDatum(3, 4, "AUTOPILOT FLIGHT DIRECTOR ACTIVE", "Bool"),
                       requestData(4, 4, 4), mapEvent(5, 8, "KOHLSMAN_INC")});
    ASSERT_EQ(out.size(), 1u);  // the first answer goes out at once
    EXPECT_EQ(messageId(out[0]), SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    EXPECT_EQ(out[0].size(), 56u);
    EXPECT_EQ(get32(out[0], 12), 4u);  // dwRequestID
    EXPECT_EQ(get32(out[0], 36), 2u);  // dwDefineCount
    EXPECT_DOUBLE_EQ(getDouble(out[0], 40), 1013.25);
    EXPECT_DOUBLE_EQ(getDouble(out[0], 48), 1.0);

    EXPECT_TRUE(h.send({transmit(6, 8)}, 400ms).empty());  // changed, but within the second
    EXPECT_TRUE(h.advance(999ms).empty());
    EXPECT_EQ(h.simulator().nextWake(), h.start() + 1s);
    out = h.advance(1s);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_DOUBLE_EQ(getDouble(out[0], 40), 1014.25);

    // Nothing changes: nothing is sent, and nothing is due, so the server can sleep.
    EXPECT_TRUE(h.advance(5s).empty());
    EXPECT_FALSE(h.simulator().nextWake().has_value());
}

TEST(StandinSession, UplinkCommandsChangeTheDownlinkBlock) {
    Harness h;
    h.opened();
    auto out =
        h.send({addClientDatum(2, 5321, 0, 132), mapClientData(3, "orvendale.downlink", 5321),
                mapClientData(4, "orvendale.uplink", 5322), requestClientData(5, 5321, 5322, 5321),
                addDatum(6, 5, "AUTOPILOT AIRSPEED HOLD VAR", "knots"), requestData(7, 5, 5)});
    ASSERT_EQ(out.size(), 2u);
    const Bytes& first = messageId(out[0]) == SIMCONNECT_RECV_ID_CLIENT_DATA ? out[0] : out[1];
    EXPECT_EQ(first.size(), 172u);
    EXPECT_EQ(get32(first, 12), 5322u);
    EXPECT_EQ(get32(first, 40 + 4 + 76), 2500u);  // A32NX_AUTOPILOT_SPEED_SELECTED, tenths
    EXPECT_EQ(get32(first, 40 + 4 + 80), 10u);    // speed managed dot on

    out = h.send(
        {setClientData(8, 5322, 5321, uplinkBlock(1, 3, "A32NX_AUTOPILOT_SPEED_SELECTED", 300))});
    ASSERT_EQ(out.size(), 1u);  // the object data waits for its second
    EXPECT_EQ(get32(out[0], 40 + 4 + 76), 3000u);
    out = h.advance(1s);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_DOUBLE_EQ(getDouble(out[0], 40), 300.0);  // the simulation variable agrees

    out = h.send({setClientData(9, 5322, 5321, uplinkBlock(2, 2, "BTN_LS_1_FILTER_ACTIVE"))}, 1s);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(get32(out[0], 40 + 4 + 4), 10u);
    // A command that changes no slot sends no block; the downlink is the companion's alone.
    EXPECT_TRUE(h.send({setClientData(10, 5322, 5321, uplinkBlock(3, 3, "NOT_A_VARIABLE", 1))}, 1s)
                    .empty());
    EXPECT_EQ(rejection(h, setClientData(11, 5321, 5321, Bytes(132))).code,
              SIMCONNECT_EXCEPTION_ERROR);
}

TEST(StandinSession, SimStartFollowsTheFlightStart) {
    standin::SimulatorConfig config;
    config.flightStarted = false;
    std::istringstream script(R"({"at": 2, "start_flight": true})");
    config.script = standin::parseScript(script).actions;
    Harness h(config);
    h.opened();
    EXPECT_TRUE(h.send({subscribe(2, 0, "SimStart")}).empty());
    EXPECT_EQ(h.simulator().nextWake(), h.start() + 2s);
    const auto out = h.advance(2s);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(messageId(out[0]), SIMCONNECT_RECV_ID_EVENT);
    EXPECT_EQ(get32(out[0], 12), SIMCONNECT_UNUSED);
    EXPECT_EQ(get32(out[0], 16), 0u);
    EXPECT_TRUE(h.advance(3s).empty());  // once per subscription
    EXPECT_EQ(rejection(h, subscribe(3, 0, "SimStart")).code,
              SIMCONNECT_EXCEPTION_EVENT_ID_DUPLICATE);
}

TEST(StandinSession, SilentSimulatorAnswersNothingButQuits) {
    standin::SimulatorConfig config;
    config.rules.silent = true;
    Harness h(config);
    EXPECT_TRUE(h.send({openRequest(), mapEvent(2, 1, "NOPE")}).empty());
    h.simulator().quit("test", h.start());
    const auto out = h.advance(0s);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(messageId(out[0]), SIMCONNECT_RECV_ID_QUIT);
}

TEST(StandinSession, MalformedStreamsCloseOnlyTheirSession) {
    Harness h;
    h.opened();
    const std::uint32_t other = h.simulator().connect("ipv4", h.start());
    const Bytes bad = words({8, 5, 0xF0000001u});
    h.simulator().receive(other, bad.data(), bad.size(), h.start());
    EXPECT_EQ(h.simulator().closeReason(other), "malformed");
    EXPECT_EQ(h.simulator().closeReason(1), "");
    EXPECT_EQ(h.send({mapEvent(2, 1, "NOPE")}).size(), 1u);  // the first session goes on
}

TEST(StandinSession, DeclarationsAreBounded) {
    Harness h;
    h.opened();
    std::vector<Bytes> maps;
    for (std::uint32_t id = 0; id < 2000; ++id) maps.push_back(mapEvent(id + 2, id, "AP_MASTER"));
    EXPECT_TRUE(h.send(maps).empty());
    EXPECT_EQ(rejection(h, mapEvent(5000, 5000, "AP_MASTER")).code,
              SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS);
}

TEST(StandinSession, ArbitraryRequestsNeverBreakTheStandIn) {
    Harness h;
    h.opened();
    // Areas, a definition that fits an area and one that reaches past it, an INT32 datum; the
    // random requests below add to other definitions.
    h.send({addClientDatum(2, 6, 0, 132), addClientDatum(3, 7, 100, 40),
            mapClientData(4, "orvendale.downlink", 1), mapClientData(5, "orvendale.uplink", 2),
            addDatum(6, 5, "RUDDER POSITION", "position 16K", 1),
            mapEvent(7, 1, "AXIS_LEFT_BRAKE_SET")});
    std::mt19937 random(7);
    const std::uint32_t numbers[] = {1, 4, 5, 12, 14, 16, 23, 55, 57, 59, 60, 99};
    // Mostly ids the session has, so that requests get past the checks, and some extremes.
    const std::uint32_t values[] = {1, 2, 1,  2,   0,          3,          4,
                                    5, 8, 40, 132, 0x7FFFFFFF, 0xFFFFFFFA, 0xFFFFFFFF};
    const std::uint32_t units[] = {132, 40, 4, 8, 0};
    const char* names[] = {"AP_MASTER",    "orvendale.uplink",
                           "SimStart",     "RUDDER POSITION",
                           "feet",         "AUTOPILOT ALTITUDE LOCK VAR:3",
                           "position 16K", "Custom.X",
                           "Bool"};
    const auto pick = [&] {
        return random() % 4 != 0 ? values[random() % std::size(values)] : std::uint32_t(random());
    };
    for (std::uint32_t i = 0; i < 4000; ++i) {
        const std::uint32_t number = numbers[random() % std::size(numbers)];
        const auto* spec = standin::findRequestSpec(request_layout::kIdBase + number);
        std::size_t size = spec != nullptr ? spec->fixedSize - 16 : random() % 64;
        if (random() % 8 == 0) size = random() % 300;
        Bytes body;
        while (body.size() < size) put32(body, pick());
        body.resize(size);
        for (const auto& field :
             spec != nullptr ? spec->fields : std::span<const standin::FieldSpec>{}) {
            if (field.type != standin::FieldType::Text || field.offset - 16 + 256 > body.size())
                continue;
            const std::string name = names[random() % std::size(names)];
            std::fill_n(body.begin() + field.offset - 16, 256, 0);
            std::copy(name.begin(), name.end(), body.begin() + field.offset - 16);
        }
        if (spec != nullptr && spec->dataBlock && random() % 4 != 0) {
            // A data block whose size fits its counts, so the request gets past the size check.
            const std::uint32_t unit = units[random() % std::size(units)];
            const std::uint32_t definition = 5 + random() % 3;
            body = number == request_layout::kSetClientData
                       ? words({pick() % 3, definition, 0, 0, unit})
                       : words({definition, 0, 0, 1, unit});
            for (std::uint32_t b = 0; b < unit; ++b)
                body.push_back(static_cast<std::uint8_t>(random()));
        }
        h.send({request(number, i, body)}, std::chrono::milliseconds(i * 3));
    }
    // Still answering: among what is due by then is the exception for this request.
    const auto out = h.send({mapEvent(9000, 9, "NOPE")}, 20s);
    EXPECT_TRUE(std::any_of(out.begin(), out.end(), [](const Bytes& m) {
        return messageId(m) == SIMCONNECT_RECV_ID_EXCEPTION && get32(m, 16) == 9000u;
    }));
}

}  // namespace
