// The handler base on a real pseudo-terminal and a real connection to the test's own
// simulator peer: cutting messages, frames, and the detent bursts.
#include "racks/serial_com_handler_base.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <limits>

#include "simconnect/peer/loopback_peer.h"
#include "tests/support/pty.h"
#include "tests/support/service_output.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using loopback_peer::U32At;

class ProbeHandler : public SerialCOMHandlerBase {
public:
    using SerialCOMHandlerBase::SerialCOMHandlerBase;
    using SerialCOMHandlerBase::readFrame;
    using SerialCOMHandlerBase::readMessage;
    using SerialCOMHandlerBase::readTimeoutSeconds;
    using SerialCOMHandlerBase::sendDetents;
    using SerialCOMHandlerBase::waitForSimulator;
    using SerialCOMHandlerBase::writeFrame;
    void run() override {}
};

// SerialPort reads syntax_config.txt and the client library SimConnect.cfg from the
// working directory, so each test runs in a folder of its own.
class HandlerBase : public testing::Test {
protected:
    void SetUp() override { folder.write("SimConnect.cfg", servicetest::pipeConfig(pipe)); }

    testsupport::WorkFolder folder;
    std::string pipe = "orvendale-racks-" + std::to_string(getpid());
    testsupport::Pty pty;
    RackMutex rackMutex;
    StateLock stateLock;
    SimSession session{&stateLock};
    ProbeHandler handler{pty.portPath().c_str(), 115200, "test_rack", &session, &rackMutex,
                         &stateLock, "json"};
};

TEST_F(HandlerBase, CutsDelimitedMessages) {
    ASSERT_TRUE(handler.isPortConnected());
    // Noise before the start, a second start inside, a nested object ending the message at
    // its first "}", and what follows left for the next call.
    ASSERT_TRUE(pty.send("noise{\"a\":1,{\"b\":2}}junk{\"c\":3}"));
    std::string body;
    ASSERT_TRUE(handler.readMessage(body));
    EXPECT_EQ(body, "\"a\":1,\"b\":2");
    ASSERT_TRUE(handler.readMessage(body));
    EXPECT_EQ(body, "\"c\":3");

    // Nothing complete within the time-out: false once the calendar clock has moved on by
    // its whole seconds, that is after more than one second and at most two.
    handler.readTimeoutSeconds = 2;
    ASSERT_TRUE(pty.send("{\"d\":"));
    const auto started = Clock::now();
    EXPECT_FALSE(handler.readMessage(body));
    EXPECT_GT(Clock::now() - started, 950ms);
    EXPECT_LT(Clock::now() - started, 2500ms);
}

TEST_F(HandlerBase, OneCharacterForBothDelimitersEndsEveryMessageEmpty) {
    folder.write("syntax_config.txt", "json | |\n");
    testsupport::Pty line;
    ProbeHandler same{line.portPath().c_str(), 115200, "test_rack", &session, &rackMutex,
                      &stateLock, "json"};
    ASSERT_TRUE(line.send("|ab|"));
    std::string body = "left over";
    ASSERT_TRUE(same.readMessage(body));
    EXPECT_EQ(body, "");
    // "ab" comes before any start and is dropped; the last "|" starts and ends a message.
    ASSERT_TRUE(same.readMessage(body));
    EXPECT_EQ(body, "");
}

// The whole 3 s interval is checked on a whole run (TextRacks); a quit cuts it short.
TEST_F(HandlerBase, QuitCutsTheWaitForTheSimulatorShort) {
    session.coon = true;
    std::atomic<bool> done{false};
    const auto started = Clock::now();
    std::jthread waiting([&] {
        EXPECT_FALSE(handler.waitForSimulator());
        done = true;
    });
    session.quit = 1;
    ASSERT_TRUE(testsupport::waitUntil([&] { return done.load(); }, 1000ms));
    EXPECT_LT(Clock::now() - started, 500ms);
}

TEST_F(HandlerBase, ReadsAndWritesFrames) {
    std::uint8_t frame[30];
    std::string good(30, '\0');
    good.front() = '{';
    good.back() = '}';
    good[1] = 3;
    ASSERT_TRUE(pty.send(good));
    EXPECT_TRUE(testsupport::waitUntil([&] { return handler.readFrame(frame, 30); }, 1s));
    EXPECT_EQ(frame[1], 3);
    std::string bad = good;
    bad.back() = '{';
    ASSERT_TRUE(pty.send(bad));
    EXPECT_FALSE(handler.readFrame(frame, 30));
    EXPECT_FALSE(handler.readFrame(frame, 30));  // nothing came

    const std::uint8_t out[4] = {'{', 1, 2, '}'};
    ASSERT_TRUE(handler.writeFrame(out, 4));
    EXPECT_EQ(pty.receive(4), std::string("{\x01\x02}", 4));
}

TEST_F(HandlerBase, SendsDetentsInOneBurst) {
    auto listener = loopback_peer::Listener::Pipe("\\\\.\\pipe\\" + pipe);
    ASSERT_TRUE(listener);
    ASSERT_EQ(SimConnect_Open(&session.hSimConnect, "RackTest", nullptr, 0, nullptr, 0), 0);
    session.coon = true;
    auto peer = listener->Accept();
    ASSERT_TRUE(peer);
    ASSERT_EQ(peer->ReadMessage().size(), 296u);  // the open request

    for (std::int32_t ignored : {0, 50, -50, std::numeric_limits<std::int32_t>::min()})
        handler.sendDetents(ignored, 8, 9);
    handler.sendDetents(-3, 8, 9);
    handler.sendDetents(49, 8, 9);
    // TransmitClientEvent to the user's aircraft, no data, group 1 as a priority.
    std::vector<std::uint32_t> events;
    while (events.size() < 52) {
        const loopback_peer::Bytes request = peer->ReadMessage();
        ASSERT_EQ(request.size(), 36u);
        ASSERT_EQ(U32At(request, 8), 0xF0000005u);
        EXPECT_EQ(std::vector<std::uint32_t>({U32At(request, 16), U32At(request, 24), U32At(request, 28),
                                              U32At(request, 32)}),
                  std::vector<std::uint32_t>({0, 0, 1, 16}));
        events.push_back(U32At(request, 20));
    }
    std::vector<std::uint32_t> expected(3, 9);
    expected.insert(expected.end(), 49, 8);
    EXPECT_EQ(events, expected);

    closeSimConnection(session, rackMutex);
    handler.sendDetents(1, 8, 9);  // no call on a closed connection
    EXPECT_TRUE(peer->ReadMessage(100ms).empty());
}

}  // namespace
