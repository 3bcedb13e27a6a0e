// The handler base on a real pseudo-terminal and a real connection to the test's own
// simulator peer: cutting messages, frames, and the detent bursts.
#include "racks/serial_com_handler_base.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <limits>

#include "tests/support/loopback_peer.h"
#include "tests/support/pty.h"
#include "tests/support/request_bytes.h"
#include "tests/support/service_output.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class ProbeHandler : public SerialCOMHandlerBase {
public:
    using SerialCOMHandlerBase::SerialCOMHandlerBase;
    using SerialCOMHandlerBase::readFrame;
    using SerialCOMHandlerBase::readMessage;
    using SerialCOMHandlerBase::readTimeoutSeconds;
    using SerialCOMHandlerBase::sendDetents;
    using SerialCOMHandlerBase::waitForSimulator;
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

// A reader with nothing to read sleeps on the line (it used to ask every millisecond) and
// still takes a message the moment it comes, long before its window ends.
TEST_F(HandlerBase, AQuietLineIsWaitedOnAndTheNextByteEndsTheWait) {
    handler.readTimeoutSeconds = 5;
    std::atomic<bool> done{false};
    long wakeUps = -1;
    std::string body;
    std::jthread reader([&] {
        rusage before{}, after{};
        getrusage(RUSAGE_THREAD, &before);
        EXPECT_TRUE(handler.readMessage(body));
        getrusage(RUSAGE_THREAD, &after);
        wakeUps = after.ru_nvcsw - before.ru_nvcsw;
        done = true;
    });
    std::this_thread::sleep_for(300ms);  // the quiet stretch that is measured
    ASSERT_TRUE(pty.send("{\"a\":1}"));
    const auto sent = Clock::now();
    ASSERT_TRUE(testsupport::waitUntil([&] { return done.load(); }, 6s));
    EXPECT_LT(Clock::now() - sent, 1s);
    EXPECT_EQ(body, "\"a\":1");
    EXPECT_LT(wakeUps, 30);
}

// Good frames both ways are checked on the panels' whole runs; here, a frame whose last
// byte is not its end is refused.
TEST_F(HandlerBase, RefusesAFrameWithoutItsEnd) {
    std::string good(30, '\0');
    good.front() = '{';
    good.back() = '}';
    good[1] = 3;
    std::string bad = good;
    bad.back() = '{';
    ASSERT_TRUE(pty.send(bad));
    std::uint8_t frame[30];
    EXPECT_FALSE(testsupport::waitUntil([&] { return handler.readFrame(frame, 30); }, 300ms));
    ASSERT_TRUE(pty.send(good));
    EXPECT_TRUE(testsupport::waitUntil([&] { return handler.readFrame(frame, 30); }, 1s));
    EXPECT_EQ(frame[1], 3);
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
    // Three down, then 49 up: each a TransmitClientEvent to the user's aircraft, no data,
    // group 1 as a priority.
    for (std::uint32_t i = 0; i < 52; ++i) {
        const std::uint32_t event = i < 3 ? 9 : 8;
        ASSERT_EQ(peer->ReadMessage(), wirebytes::words({36, 5, 0xF0000005, i + 2, 0, event, 0, 1, 16}));
    }

    closeSimConnection(session, rackMutex);
    handler.sendDetents(1, 8, 9);  // no call on a closed connection
    EXPECT_TRUE(peer->ReadMessage(100ms).empty());
}

}  // namespace
