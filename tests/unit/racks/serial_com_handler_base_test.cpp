// The handler base on a real pseudo-terminal and a real connection to the test's own
// simulator peer: cutting messages, frames, and the detent bursts.
#include "racks/serial_com_handler_base.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <limits>

#include "tests/integration/service/sim_peer.h"
#include "tests/unit/racks/rack_pty.h"

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
    using SerialCOMHandlerBase::writeFrame;
    void run() override {}
};

// SerialPort reads syntax_config.txt and the client library SimConnect.cfg from the
// working directory, so this program runs in a folder of its own.
class HandlerBase : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new testsupport::TempDir;
        dir_->write("SimConnect.cfg", servicetest::pipeConfig(pipeName()));
        ASSERT_EQ(chdir(dir_->path().c_str()), 0);
        setenv("HOME", dir_->path().c_str(), 1);
    }
    static void TearDownTestSuite() {
        if (chdir("/") != 0) std::abort();
        delete dir_;
    }
    static std::string pipeName() { return "orvendale-racks-" + std::to_string(getpid()); }

    racktest::RackPty pty;
    RackMutex rackMutex;
    StateLock stateLock;
    SimSession session{&stateLock};
    ProbeHandler handler{pty.portPath().c_str(), 115200, "test_rack", &session, &rackMutex,
                         &stateLock, "json"};
    static testsupport::TempDir* dir_;
};

testsupport::TempDir* HandlerBase::dir_ = nullptr;

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

    // Nothing complete within the time-out: false, after whole seconds of waiting.
    handler.readTimeoutSeconds = 1;
    ASSERT_TRUE(pty.send("{\"d\":"));
    const auto started = Clock::now();
    EXPECT_FALSE(handler.readMessage(body));
    EXPECT_LT(Clock::now() - started, 2500ms);
}

TEST_F(HandlerBase, ReadsAndWritesFrames) {
    std::uint8_t frame[30];
    std::string good(30, '\0');
    good.front() = '{';
    good.back() = '}';
    good[1] = 3;
    ASSERT_TRUE(pty.send(good));
    testsupport::waitUntil([&] { return handler.readFrame(frame, 30); }, 1s);
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
    servicetest::SimPeer peer(pipeName());
    ASSERT_EQ(SimConnect_Open(&session.hSimConnect, "RackTest", nullptr, 0, nullptr, 0), 0);
    session.coon = true;
    ASSERT_TRUE(peer.accept(5s));
    ASSERT_TRUE(peer.next(5s));  // the open request

    for (std::int32_t ignored : {0, 50, -50, std::numeric_limits<std::int32_t>::min()})
        handler.sendDetents(ignored, 8, 9);
    handler.sendDetents(-3, 8, 9);
    handler.sendDetents(49, 8, 9);
    std::vector<std::uint32_t> events;
    while (events.size() < 52) {
        const auto request = peer.next(5s);
        ASSERT_TRUE(request);
        ASSERT_EQ(request->id(), 5u);  // TransmitClientEvent
        EXPECT_EQ(request->word(16), 0u);   // the user's aircraft
        EXPECT_EQ(request->word(24), 0u);   // data
        EXPECT_EQ(request->word(28), 1u);   // group 1 ...
        EXPECT_EQ(request->word(32), 16u);  // ... as a priority
        events.push_back(request->word(20));
    }
    std::vector<std::uint32_t> expected(3, 9);
    expected.insert(expected.end(), 49, 8);
    EXPECT_EQ(events, expected);

    closeSimConnection(session, rackMutex);
    handler.sendDetents(1, 8, 9);  // no call on a closed connection
    EXPECT_FALSE(peer.next(100ms));
}

}  // namespace
