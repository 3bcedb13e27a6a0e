// The handler base on a real pseudo-terminal and a real connection to the test's own
// simulator peer: cutting messages, the detent bursts; and, on a line held in memory that
// says what each read finds, how frames are found among the pieces that arrive.
#include "racks/serial_com_handler_base.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <limits>
#include <optional>

#include "base/little_endian.h"
#include "testing/loopback_peer.h"
#include "testing/memory_line.h"
#include "testing/pty.h"
#include "testing/request_bytes.h"
#include "testing/service_output.h"

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
    using SerialCOMHandlerBase::serialPort;
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
    ASSERT_TRUE(testsupport::waitUntil([&] { return done.load(); }, 5s));
    // Well short of the 3 s sleep, with room for a loaded machine.
    EXPECT_LT(Clock::now() - started, 1500ms);
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

// An FCU-sized frame whose first field is `count`; its payload holds both framing bytes
// (0x7D7B as a field), which must not throw the search off.
std::string fcuFrame(std::int32_t count) {
    std::string frame(82, '\0');
    frame.front() = '{';
    frame.back() = '}';
    StoreI32(reinterpret_cast<unsigned char*>(&frame[1]), count);
    frame[41] = '{';
    frame[42] = '}';
    return frame;
}

// A handler on a line held in memory: each piece that arrives is what one read finds at
// once, so a test says exactly what reached the line before each read pass.
class FrameReading : public testing::Test {
protected:
    // The first field of the frame a read pass hands on, or nothing.
    std::optional<std::int32_t> pass() {
        std::array<std::uint8_t, 82> frame{};
        if (!handler.readFrame(frame.data(), 82)) return std::nullopt;
        EXPECT_EQ(frame.front(), '{');
        EXPECT_EQ(frame.back(), '}');
        return LoadI32(&frame[1]);
    }

    testsupport::MemoryLine* line = [] {
        auto* made = new testsupport::MemoryLine({});
        made->keepOpen();
        return made;
    }();
    RackMutex rackMutex;
    StateLock stateLock;
    SimSession session{&stateLock};
    ProbeHandler handler{std::unique_ptr<SerialLine>(line), "\\\\.\\memory", "autopilot_rack", &session,
                         &rackMutex, &stateLock};
};

TEST_F(FrameReading, WholeFramesAreTakenOneAPassOldestFirst) {
    line->arrive(fcuFrame(1) + fcuFrame(2) + fcuFrame(3));
    EXPECT_EQ(pass(), 1);
    EXPECT_EQ(pass(), 2);
    EXPECT_EQ(pass(), 3);
    EXPECT_EQ(pass(), std::nullopt);
}

TEST_F(FrameReading, AFrameSplitAcrossReadsIsCompletedByTheLastPiece) {
    // The ways a USB bridge hands a frame on: a packet, a latency timer's flush, a byte.
    const std::string frame = fcuFrame(7) + fcuFrame(8);
    for (std::size_t cut : {1u, 31u, 62u, 81u}) {
        line->arrive(frame.substr(0, cut));
        EXPECT_EQ(pass(), std::nullopt) << "cut at " << cut;
        line->arrive(frame.substr(cut, 82 - cut + 5));
        EXPECT_EQ(pass(), 7) << "cut at " << cut;
        line->arrive(frame.substr(82 + 5));
        EXPECT_EQ(pass(), 8) << "cut at " << cut;
    }
    // In many small pieces, each before a pass of its own.
    for (std::size_t at = 0; at < 82; at += 5) {
        line->arrive(fcuFrame(9).substr(at, 5));
        EXPECT_EQ(pass(), at + 5 >= 82 ? std::optional<std::int32_t>(9) : std::nullopt) << at;
    }
}

TEST_F(FrameReading, NoiseAndFalseStartsAreDroppedAndTheSearchGoesOn) {
    // A line end and a stray '{' before the frame, in the same read: found in that pass.
    line->arrive("\r\n{x" + fcuFrame(4));
    EXPECT_EQ(pass(), 4);
    // The tail of a frame the board cut off (its payload holds a '{' 40 bytes before the
    // next frame), then a whole frame: only the whole one is handed on.
    line->arrive(fcuFrame(5).substr(30) + fcuFrame(6));
    EXPECT_EQ(pass(), 6);
    // A frame begun and never finished, overtaken by the next one, which the same pass
    // finds once the unfinished one's false starts are dropped.
    line->arrive(fcuFrame(11).substr(0, 50));
    EXPECT_EQ(pass(), std::nullopt);
    line->arrive(fcuFrame(12));
    EXPECT_EQ(pass(), 12);
}

TEST_F(FrameReading, AFrameWithAWrongEndIsNeverHandled) {
    std::string wrong = fcuFrame(13);
    wrong.back() = '{';
    line->arrive(wrong);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(pass(), std::nullopt);
    line->arrive(wrong.substr(0, 81) + "x");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(pass(), std::nullopt);
    line->arrive(fcuFrame(14));
    EXPECT_EQ(pass(), 14);
}

TEST_F(FrameReading, AFailedReadDropsTheFrameBegun) {
    line->arrive(fcuFrame(15).substr(0, 40));
    EXPECT_EQ(pass(), std::nullopt);
    line->failNextRead();
    testing::internal::CaptureStdout();
    EXPECT_EQ(pass(), std::nullopt);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[ERR READFILE]\n");
    // The rest of the broken frame, then a whole one: the rest alone is no frame.
    line->arrive(fcuFrame(15).substr(40) + fcuFrame(16));
    EXPECT_EQ(pass(), 16);
}

TEST_F(FrameReading, WhatQueuedDuringTheWaitForTheSimulatorIsDropped) {
    line->arrive(fcuFrame(17) + fcuFrame(18).substr(0, 30));
    EXPECT_EQ(pass(), 17);  // and half a frame begun
    line->arrive(fcuFrame(19));
    session.coon = true;
    session.first = true;
    ASSERT_TRUE(handler.waitForSimulator());
    EXPECT_EQ(line->purges(), 1);
    line->arrive(fcuFrame(20));
    EXPECT_EQ(pass(), 20);
}

// The same on a real terminal: a text rack's backlog, cut in the middle of a message,
// does not reach the first read after the wait.
TEST_F(HandlerBase, TheFirstMessageAfterTheWaitIsAFreshOne) {
    const std::string backlog = "{\"a\":1}{\"a\":2}\"a\":3,\"b\"";
    ASSERT_TRUE(pty.send(backlog));
    ASSERT_TRUE(testsupport::waitUntil(
        [&] {
            handler.serialPort->refreshStatus();
            return handler.serialPort->lineStatus().cbInQue == backlog.size();
        },
        1s));
    session.coon = true;
    session.first = true;
    ASSERT_TRUE(handler.waitForSimulator());
    ASSERT_TRUE(pty.send("{\"fresh\":1}"));
    std::string body;
    ASSERT_TRUE(handler.readMessage(body));
    EXPECT_EQ(body, "\"fresh\":1");
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
