// The transport over real sockets: cutting the received stream into messages, failures
// and their recorded results, writes that must wait for the stream, and a write in flight
// at close.
#include "transport.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "base/little_endian.h"
#include "library_state.h"
#include "testing/process.h"
#include "testing/request_bytes.h"
#include "peer_session.h"

using loopback_peer::Bytes;
using namespace std::chrono_literals;

using wirebytes::join;
using wirebytes::words;

// A message of `length` bytes, all of them `fill` after the length.
static Bytes Message(std::uint32_t length, std::uint8_t fill) {
    return join(words({length}), Bytes(length - 4, fill));
}

// Several messages in one write are cut apart in the session's dispatch test.
TEST(Transport, CutsOneMessageFromThreeWrites) {
    PeerSession s("cutting");
    const Bytes split = Message(300, 0x42);
    ASSERT_TRUE(s.peer->Write(split.data(), 2));
    ASSERT_TRUE(s.peer->Write(split.data() + 2, 100));
    ASSERT_TRUE(s.peer->Write(split.data() + 102, 198));
    ASSERT_TRUE(WaitForQueued(s.session(), 1));
    EXPECT_EQ(DispatchOnce(s.handle).messages, std::vector<Bytes>{split});
}

// The longest message the limit allows passes whole; a length below four or above the
// limit fails the connection before the rest arrives.
TEST(Transport, LengthsOutsideTheLimitFailTheConnection) {
    struct Case {
        std::uint32_t limit, longest;
        Bytes refused;
        FailureKind kind;
    };
    // One byte above 1 MiB could never fit the largest buffer, whatever the limit.
    for (const Case& c :
         {Case{41088, 41088, words({41089}), FailureKind::TooLarge},
          Case{2 * 1048576, 1048576, join(words({1048577}), Bytes(2044, 0)), FailureKind::TooLarge},
          Case{41088, 0, words({3}), FailureKind::BadLength}}) {
        PeerSession s("limit", {.maxReceiveSize = c.limit});
        if (c.longest != 0) {
            const Bytes longest = Message(c.longest, 0x33);
            ASSERT_TRUE(s.peer->Write(longest));
            // The buffer grows 2,048 bytes per read, copying what it holds each time: slow
            // under ThreadSanitizer on a busy machine.
            ASSERT_TRUE(WaitForQueued(s.session(), 1, 120s));
            EXPECT_EQ(DispatchOnce(s.handle).messages, std::vector<Bytes>{longest});
            if (c.longest == 1048576) {
                EXPECT_EQ(s.session()->TEST_ReceiveBufferSize(), c.longest);
            }
        }
        ASSERT_TRUE(s.peer->Write(c.refused));
        ASSERT_TRUE(WaitForFailure(s.session()));
        EXPECT_EQ(s.session()->TEST_Failure(), c.kind);
        EXPECT_EQ(DispatchOnce(s.handle).result, E_ABORT);
        EXPECT_TRUE(s.peer->WaitClosed());
    }
}

TEST(Transport, PeerClosingOrResettingFailsTheConnection) {
    for (const bool reset : {false, true}) {
        PeerSession s("closed", {.tcp = true});
        reset ? s.peer->CloseWithReset() : s.peer->Close();
        ASSERT_TRUE(WaitForFailure(s.session()));
        EXPECT_EQ(s.session()->TEST_Failure(), reset ? FailureKind::Broken : FailureKind::PeerClosed);
        EXPECT_EQ(static_cast<std::uint32_t>(s.session()->FailureResult()),
                  reset ? 0xC000020Du : 0xC000013Eu);
    }
}

TEST(Transport, WritesGoOutWholeAndInOrderWhenTheStreamIsFull) {
    PeerSession s("backpressure");
    constexpr int kRequests = 200;
    std::vector<unsigned char> data(40000);
    for (int i = 0; i < kRequests; ++i) {
        std::memset(data.data(), i, data.size());
        ASSERT_EQ(SimConnect_SetClientData(s.handle, 1, 1, 0, 0, 40000, data.data()), S_OK);
    }
    for (int i = 0; i < kRequests; ++i) {
        const Bytes head = words({40036, 5, 0xF000003C, std::uint32_t(i + 2), 1, 1, 0, 0, 40000});
        ASSERT_EQ(s.peer->ReadMessage(), join(head, Bytes(40000, std::uint8_t(i)))) << i;
    }
}

namespace {
// A session whose write blocks the test can look at, and whose first cancelled operation
// holds its completion until the test lets it go.
struct HeldCompletionSession : ClientClient {
    using ClientClient::ClientClient;
    void Disconnect(FailureKind kind, HRESULT result) override {
        if (kind == FailureKind::Cancelled && !held.exchange(true)) {
            while (!letGo.load()) std::this_thread::sleep_for(1ms);
        }
        ClientClient::Disconnect(kind, result);
    }
    std::atomic<bool> held{false};
    std::atomic<bool> letGo{false};
};
}  // namespace

// A write in flight when the connection closes may still read its blocks until its
// completion arrives, so closing leaves them to that completion.
TEST(Transport, ClosingLeavesTheBlocksOfAWriteInFlightToItsCompletion) {
    const std::string name = loopback_peer::UniquePipeName("inflight");
    auto listener = loopback_peer::Listener::Pipe(BuildPipePath("", name));
    ASSERT_TRUE(listener);
    auto* session = new HeldCompletionSession(TransportType::Pipe);
    ASSERT_EQ(session->Connect(0, "", name, 41088, false), 0);
    auto peer = listener->Accept();
    ASSERT_TRUE(peer);
    // More than the stream holds, and nobody reads: the write stays in flight.
    const std::uint32_t size = 8 * 1048576;
    auto* block = static_cast<unsigned char*>(std::malloc(size));
    ASSERT_NE(block, nullptr);
    std::memset(block, 0x5A, size);
    StoreU32(block, size);
    ASSERT_TRUE(session->QueueSend(NewMessageNode(block, size, session->ConnectionId())));
    ASSERT_TRUE(testsupport::waitUntil([&] { return session->TEST_References() == 3; }, 5000ms));

    // Closed while the cancelled operations' completions are held: the owner's reference
    // is gone, the read's and the write's remain.
    std::jthread closing([&] { CloseSession(session); });
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return session->held.load() && session->TEST_References() == 2; }, 5000ms));
    const auto [blockCount, firstBlock] = session->TEST_SendBlocks();
    ASSERT_EQ(blockCount, 1u);
    EXPECT_EQ(firstBlock, block);
    EXPECT_EQ(block[size - 1], 0x5A);

    session->letGo = true;
    closing.join();
    EXPECT_EQ(Library().liveClients.load(), 0);
}

// The simulator says its last word and resets the connection while a write is in
// flight: the message is delivered before the failure, and the failure stays the reset's,
// not the cancellation of the write that follows it.
TEST(Transport, LastMessageBeforeAResetUnderAWriteIsDelivered) {
    PeerSession s("reset-under-write", {.tcp = true});
    // More than the stream holds, and nobody reads: the write stays in flight.
    const std::uint32_t size = 8 * 1048576;
    auto* block = static_cast<unsigned char*>(std::calloc(size, 1));
    ASSERT_NE(block, nullptr);
    StoreU32(block, size);
    ASSERT_TRUE(s.session()->QueueSend(NewMessageNode(block, size, s.session()->ConnectionId())));
    ASSERT_TRUE(testsupport::waitUntil([&] { return s.session()->TEST_References() == 3; }, 5000ms));

    const Bytes quit = loopback_peer::MakeMessage(3, {});
    ASSERT_TRUE(s.peer->Write(quit));
    s.peer->CloseWithReset();
    ASSERT_TRUE(WaitForFailure(s.session()));
    const Dispatched dispatched = DispatchOnce(s.handle);
    EXPECT_EQ(dispatched.messages, std::vector<Bytes>{quit});
    EXPECT_EQ(static_cast<std::uint32_t>(dispatched.result), 0xC000020Du);
    EXPECT_EQ(s.session()->TEST_Failure(), FailureKind::Broken);
}

// A pipe server that closes with requests it has not read breaks the pipe, as on Windows.
TEST(Transport, PipeServerClosingWithRequestsUnreadBreaksThePipe) {
    PeerSession s("unread");
    ASSERT_EQ(SimConnect_TransmitClientEvent(s.handle, 0, 1, 0, 1, 16), S_OK);
    // The request has reached the server, which closes without reading it.
    ASSERT_TRUE(testsupport::waitUntil(
        [&] {
            int waiting = 0;
            return ::ioctl(s.peer->fd(), FIONREAD, &waiting) == 0 && waiting > 0;
        },
        5000ms));
    s.peer->Close();
    ASSERT_TRUE(WaitForFailure(s.session()));
    EXPECT_EQ(s.session()->TEST_Failure(), FailureKind::Broken);
    EXPECT_EQ(static_cast<std::uint32_t>(s.session()->FailureResult()), 0xC000014Bu);
}

TEST(Transport, BusyPipeIsWaitedForUntilItTakesTheConnection) {
    const std::string name = loopback_peer::UniquePipeName("busy");
    auto listener = loopback_peer::Listener::Pipe(BuildPipePath("", name), 0);
    ASSERT_TRUE(listener);
    // A first client that nobody accepts fills the backlog: the pipe is busy.
    auto* blocker = new ClientClient(TransportType::Pipe);
    ASSERT_EQ(blocker->Connect(0, "", name, 41088, false), 0);

    auto* session = new ClientClient(TransportType::Pipe);
    std::atomic<int> connected{-1};
    std::thread connecting([&] { connected = session->Connect(0, "", name, 41088, false); });
    // Still waiting while the pipe stays busy; connected once it takes the connection.
    EXPECT_FALSE(testsupport::waitUntil([&] { return connected != -1; }, 300ms));
    auto first = listener->Accept();
    ASSERT_TRUE(first);
    EXPECT_TRUE(testsupport::waitUntil([&] { return connected != -1; }, 5000ms));
    connecting.join();
    EXPECT_EQ(connected.load(), 0);
    EXPECT_TRUE(listener->Accept());
    CloseSession(session);
    CloseSession(blocker);
}
