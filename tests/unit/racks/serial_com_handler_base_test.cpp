// The handler base on a real pseudo-terminal and a real connection to the test's own
// simulator peer: cutting messages, the detent bursts; and, on a line held in memory that
// says what each read finds, how frames are found among the pieces that arrive.
#include "racks/serial_com_handler_base.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>

#include "base/little_endian.h"
#include "racks/serial_com_handler_pedals.h"
#include "simconnect/request_layout.h"
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

// Standard output goes to a pipe until the wait for a line that the handler prints before
// it goes on, so that a test can act at that moment; the test's own reports go to the
// usual output again.
class OutputPipe {
public:
    OutputPipe() {
        std::fflush(stdout);
        if (::pipe2(ends_, O_CLOEXEC) != 0) return;
        saved_ = ::dup(STDOUT_FILENO);
        ::dup2(ends_[1], STDOUT_FILENO);
    }
    ~OutputPipe() { restore(); }
    OutputPipe(const OutputPipe&) = delete;
    OutputPipe& operator=(const OutputPipe&) = delete;

    // True once `text` has been printed, within `limit`; standard output is restored
    // either way. Whatever the C library still buffers for another thread is pushed out on
    // every round.
    bool waitFor(const std::string& text, std::chrono::milliseconds limit) {
        const auto deadline = Clock::now() + limit;
        while (seen_.find(text) == std::string::npos) {
            if (saved_ < 0 || Clock::now() >= deadline) {
                restore();
                return false;
            }
            std::fflush(stdout);
            pollfd entry{ends_[0], POLLIN, 0};
            if (::poll(&entry, 1, 10) <= 0) continue;
            char bytes[512];
            const ssize_t got = ::read(ends_[0], bytes, sizeof bytes);
            if (got > 0) seen_.append(bytes, static_cast<std::size_t>(got));
        }
        restore();
        return true;
    }

private:
    void restore() {
        std::fflush(stdout);
        if (saved_ >= 0) ::dup2(saved_, STDOUT_FILENO);
        for (int* fd : {&saved_, &ends_[0], &ends_[1]}) {
            if (*fd >= 0) ::close(*fd);
            *fd = -1;
        }
    }

    int ends_[2] = {-1, -1};
    int saved_ = -1;
    std::string seen_;
};

class ProbePedals : public SerialCOMHandlerPedals {
public:
    using SerialCOMHandlerPedals::SerialCOMHandlerPedals;
    using SerialCOMHandlerPedals::handleMessage;
    using SerialCOMHandlerPedals::lastMessage;
};

// SerialPort reads syntax_config.txt and the client library SimConnect.cfg from the
// working directory, so each test runs in a folder of its own.
class HandlerBase : public testing::Test {
protected:
    void SetUp() override { folder.write("SimConnect.cfg", servicetest::pipeConfig(pipe)); }

    // Opens the session to a simulator peer of the test's own: the peer, with the open
    // request read off it, or nothing (the failure reported).
    std::optional<loopback_peer::Connection> connectToPeer() {
        listener = loopback_peer::Listener::Pipe("\\\\.\\pipe\\" + pipe);
        if (!listener) return std::nullopt;
        EXPECT_EQ(SimConnect_Open(&session.hSimConnect, "RackTest", nullptr, 0, nullptr, 0), 0);
        session.coon = true;
        auto peer = listener->Accept();
        if (!peer) return std::nullopt;
        EXPECT_EQ(peer->ReadMessage().size(), 296u);  // the open request
        return peer;
    }

    testsupport::WorkFolder folder;
    std::string pipe = "orvendale-racks-" + std::to_string(getpid());
    testsupport::Pty pty;
    RackMutex rackMutex;
    StateLock stateLock;
    SimSession session{&stateLock, &rackMutex};
    ProbeHandler handler{pty.portPath().c_str(), 115200, "test_rack", &session, &rackMutex,
                         &stateLock, "json"};
    std::optional<loopback_peer::Listener> listener;
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

// The whole 3 s interval is checked on a whole run (TextRacks); a quit cuts it short, also
// one that comes once the 3 s sleep has begun (after its warning).
TEST_F(HandlerBase, QuitCutsTheWaitForTheSimulatorShort) {
    session.coon = true;
    std::atomic<bool> done{false};
    OutputPipe output;
    std::jthread waiting([&] {
        EXPECT_FALSE(handler.waitForSimulator());
        done = true;
    });
    ASSERT_TRUE(output.waitFor("is waiting for Flight Simulator starts", 5000ms));
    session.quit = 1;
    // Well inside the 3 s that the sleep lasts without the quit.
    EXPECT_TRUE(testsupport::waitUntil([&] { return done.load(); }, 2000ms));
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
    SimSession session{&stateLock, &rackMutex};
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

// What the monitor is told of the same reads: frames taken, bytes in, and each rejection
// under its reason.
TEST_F(FrameReading, TheProbeCountsFramesTakenAndRejectedByReason) {
    std::string wrongEnd = fcuFrame(21);
    wrongEnd.back() = 'x';
    line->arrive("\r\n" + fcuFrame(22));
    EXPECT_EQ(pass(), 22);
    line->arrive(wrongEnd);
    EXPECT_EQ(pass(), std::nullopt);
    line->arrive(fcuFrame(23).substr(0, 40));
    EXPECT_EQ(pass(), std::nullopt);
    line->failNextRead();
    testing::internal::CaptureStdout();
    EXPECT_EQ(pass(), std::nullopt);
    testing::internal::GetCapturedStdout();
    const monitor::RackRecord record = handler.probe().copy();
    EXPECT_EQ(record.name, "autopilot_rack");
    EXPECT_EQ(record.good, 1u);
    EXPECT_EQ(record.bytesIn, 2u + 82u + 82u + 40u);
    EXPECT_GE(record.rejected[static_cast<std::size_t>(monitor::Reject::firstByte)], 1u);
    EXPECT_EQ(record.rejected[static_cast<std::size_t>(monitor::Reject::lastByte)], 1u);
    EXPECT_EQ(record.rejected[static_cast<std::size_t>(monitor::Reject::incomplete)], 1u);
    ASSERT_EQ(record.lastInputFrame.size(), 82u);
    EXPECT_EQ(record.lastInputFrame[1], 22);
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

// A brake that is no number ends the message before anything of it is sent: what the
// library has on the wire after a good message that follows starts with that message.
TEST_F(HandlerBase, APedalsMessageWhoseBrakeFailsSendsNothing) {
    namespace rl = request_layout;
    auto peer = connectToPeer();
    ASSERT_TRUE(peer);

    testsupport::Pty line;
    ProbePedals pedals{line.portPath().c_str(), 115200, "pedals", &session, &rackMutex, &stateLock,
                       "json"};
    pedals.lastMessage = nlohmann::json::parse(R"({"rudder_position":4321,"brake_position":"x"})");
    EXPECT_THROW(pedals.handleMessage(), nlohmann::json::exception);
    pedals.lastMessage = nlohmann::json::parse(R"({"rudder_position":77,"brake_position":5})");
    pedals.handleMessage();

    // The rudder write, then both brakes, of the good message alone.
    const loopback_peer::Bytes rudder = peer->ReadMessage();
    ASSERT_GE(rudder.size(), 16u + 8u);
    EXPECT_EQ(loopback_peer::U32At(rudder, 8), rl::kIdBase + rl::kSetDataOnSimObject);
    double value = 0.0;
    std::memcpy(&value, rudder.data() + rudder.size() - 8, sizeof value);
    EXPECT_EQ(value, 77.0);
    for (int brake = 0; brake < 2; ++brake) {
        const loopback_peer::Bytes event = peer->ReadMessage();
        ASSERT_EQ(event.size(), 36u);
        EXPECT_EQ(loopback_peer::U32At(event, 8), rl::kIdBase + rl::kTransmitClientEvent);
        EXPECT_EQ(loopback_peer::U32At(event, 24), 5u);
    }
    closeSimConnection(session, rackMutex);
}

TEST_F(HandlerBase, SendsDetentsInOneBurst) {
    auto peer = connectToPeer();
    ASSERT_TRUE(peer);

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
