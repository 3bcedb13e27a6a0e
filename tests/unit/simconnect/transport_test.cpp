// The transport over real sockets: cutting the received stream into messages, failures
// and their recorded results, writes that must wait for the stream, and the lifetime of
// a transport closed with a read pending.
#include "simconnect/src/transport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "simconnect/src/library_state.h"
#include "bytes/little_endian.h"
#include "tests/support/process.h"
#include "tests/support/request_bytes.h"
#include "tests/unit/simconnect/peer_session.h"

using loopback_peer::Bytes;
using loopback_peer::MakeMessage;
using loopback_peer::U32At;
using namespace std::chrono_literals;

namespace {

using wirebytes::join;

// A message of `length` bytes, all of them `fill` after the length.
Bytes Message(std::uint32_t length, std::uint8_t fill) {
    return join(wirebytes::words({length}), Bytes(length - 4, fill));
}

Bytes Header(std::uint32_t length) {
    return wirebytes::words({length});
}

}  // namespace

TEST(Transport, CutsTwoMessagesFromOneWriteAndOneFromThreeWrites) {
    PeerSession s;
    OpenPeerSession(s, "cutting");
    const Bytes first = MakeMessage(4, {1, 2, 3});
    const Bytes second = MakeMessage(3, {});
    ASSERT_TRUE(s.peer->Write(join(first, second)));
    ASSERT_TRUE(WaitForQueued(s.session(), 2));
    EXPECT_EQ(DispatchOnce(s.handle).messages, (std::vector<Bytes>{first, second}));

    const Bytes split = Message(300, 0x42);
    ASSERT_TRUE(s.peer->Write(split.data(), 2));
    ASSERT_TRUE(s.peer->Write(split.data() + 2, 100));
    ASSERT_TRUE(s.peer->Write(split.data() + 102, 198));
    ASSERT_TRUE(WaitForQueued(s.session(), 1));
    EXPECT_EQ(DispatchOnce(s.handle).messages, std::vector<Bytes>{split});
}

TEST(Transport, LengthBelowFourFailsTheConnection) {
    PeerSession s;
    OpenPeerSession(s, "length3");
    ASSERT_TRUE(s.peer->Write(Header(3)));
    ASSERT_TRUE(WaitForFailure(s.session()));
    EXPECT_EQ(s.session()->FailureKindValue(), 2u);
    EXPECT_EQ(s.session()->FailureResult(), E_ABORT);
    EXPECT_TRUE(s.peer->WaitClosed());
}

TEST(Transport, LengthAboveTheLimitFailsBeforeTheRestArrives) {
    PeerSession s;
    OpenPeerSession(s, "limit");
    const Bytes exact = Message(41088, 0x11);
    ASSERT_TRUE(s.peer->Write(exact));
    ASSERT_TRUE(WaitForQueued(s.session(), 1));
    EXPECT_EQ(DispatchOnce(s.handle).messages, std::vector<Bytes>{exact});

    ASSERT_TRUE(s.peer->Write(Header(41089)));
    ASSERT_TRUE(WaitForFailure(s.session()));
    EXPECT_EQ(s.session()->FailureKindValue(), 1u);
    EXPECT_EQ(DispatchOnce(s.handle).result, E_ABORT);
}

TEST(Transport, MessagesUpToTheLargestBufferOnlyWithARaisedLimit) {
    PeerSession s;
    OpenPeerSession(s, "mebibyte", {.maxReceiveSize = 2 * 1048576});
    const Bytes largest = Message(1048576, 0x33);
    ASSERT_TRUE(s.peer->Write(largest));
    // The buffer grows 2,048 bytes per read, copying what it holds each time: slow under
    // ThreadSanitizer on a busy machine.
    ASSERT_TRUE(WaitForQueued(s.session(), 1, 120s));
    EXPECT_EQ(DispatchOnce(s.handle).messages, std::vector<Bytes>{largest});
    EXPECT_EQ(s.session()->ReceiveBufferSize(), 1048576u);

    // One byte more could never fit the buffer: the connection fails instead of waiting.
    ASSERT_TRUE(s.peer->Write(join(Header(1048577), Bytes(2044, 0))));
    ASSERT_TRUE(WaitForFailure(s.session()));
    EXPECT_EQ(s.session()->FailureKindValue(), 1u);
}

TEST(Transport, PeerClosingOrResettingFailsTheConnection) {
    {
        PeerSession s;
        OpenPeerSession(s, "closed", {.tcp = true});
        s.peer->Close();
        ASSERT_TRUE(WaitForFailure(s.session()));
        EXPECT_EQ(s.session()->FailureKindValue(), 4u);
        EXPECT_EQ(static_cast<std::uint32_t>(s.session()->FailureResult()), 0xC000013Eu);
    }
    PeerSession s;
    OpenPeerSession(s, "reset", {.tcp = true});
    s.peer->CloseWithReset();
    ASSERT_TRUE(WaitForFailure(s.session()));
    EXPECT_EQ(s.session()->FailureKindValue(), 5u);
    EXPECT_EQ(static_cast<std::uint32_t>(s.session()->FailureResult()), 0xC000020Du);
}

TEST(Transport, WritesGoOutWholeAndInOrderWhenTheStreamIsFull) {
    PeerSession s;
    OpenPeerSession(s, "backpressure");
    constexpr int kRequests = 200;
    std::vector<unsigned char> data(40000);
    for (int i = 0; i < kRequests; ++i) {
        std::memset(data.data(), i, data.size());
        ASSERT_EQ(SimConnect_SetClientData(s.handle, 1, 1, 0, 0, 40000, data.data()), S_OK);
    }
    for (int i = 0; i < kRequests; ++i) {
        const Bytes request = s.peer->ReadMessage();
        ASSERT_EQ(request.size(), 40036u);
        EXPECT_EQ(U32At(request, 12), std::uint32_t(i + 2));
        EXPECT_EQ(request[36], std::uint8_t(i));
        EXPECT_EQ(request.back(), std::uint8_t(i));
    }
}

TEST(Transport, ConnectFailsWithNobodyListening) {
    ClientClient* session = new ClientClient(kTransportPipe);
    EXPECT_EQ(session->Connect(0, "", loopback_peer::UniquePipeName("nobody"), 41088, false), 1);
    EXPECT_EQ(session->Connect(0, "OTHERHOST", "SimConnect", 41088, false), 1);
    EXPECT_EQ(CloseSession(session), 0);
    EXPECT_EQ(Library().liveClients.load(), 0);
}

namespace {
std::atomic<int> destroyed{0};
struct CountedSession : ClientClient {
    using ClientClient::ClientClient;
    ~CountedSession() override { destroyed.fetch_add(1); }
};
}  // namespace

TEST(Transport, ClosedWithAReadPendingIsDestroyedExactlyOnce) {
    const std::string name = loopback_peer::UniquePipeName("pending");
    auto listener = loopback_peer::Listener::Pipe(BuildPipePath("", name));
    ASSERT_TRUE(listener);
    auto* session = new CountedSession(kTransportPipe);
    ASSERT_EQ(session->Connect(0, "", name, 41088, false), 0);
    auto peer = listener->Accept();
    ASSERT_TRUE(peer);
    // The read is pending: the owner and the read hold one reference each.
    ASSERT_TRUE(testsupport::waitUntil([&] { return session->References() == 2; }, 5000ms));
    EXPECT_EQ(CloseSession(session), 0);
    EXPECT_EQ(destroyed.load(), 1);
    EXPECT_EQ(Library().liveClients.load(), 0);
    EXPECT_TRUE(peer->WaitClosed());
}

namespace {
// A session whose write blocks the test can look at, and whose first cancelled operation
// holds its completion until the test lets it go.
struct HeldCompletionSession : ClientClient {
    using ClientClient::ClientClient;
    using CClient::sendRequest;
    void Disconnect(std::uint32_t kind, HRESULT result) override {
        if (kind == kFailureCancelled && !held.exchange(true)) {
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
    auto* session = new HeldCompletionSession(kTransportPipe);
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
    ASSERT_TRUE(testsupport::waitUntil([&] { return session->References() == 3; }, 5000ms));

    // Closed while the cancelled operations' completions are held: the owner's reference
    // is gone, the read's and the write's remain.
    std::jthread closing([&] { CloseSession(session); });
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return session->held.load() && session->References() == 2; }, 5000ms));
    ASSERT_EQ(session->sendRequest.bufferCount, 1u);
    EXPECT_EQ(session->sendRequest.buffers[0].data, block);
    EXPECT_EQ(block[size - 1], 0x5A);

    session->letGo = true;
    closing.join();
    EXPECT_EQ(Library().liveClients.load(), 0);
}

TEST(Transport, BusyPipeIsWaitedForUntilItTakesTheConnection) {
    const std::string name = loopback_peer::UniquePipeName("busy");
    auto listener = loopback_peer::Listener::Pipe(BuildPipePath("", name), 0);
    ASSERT_TRUE(listener);
    // A first client that nobody accepts fills the backlog: the pipe is busy.
    auto* blocker = new ClientClient(kTransportPipe);
    ASSERT_EQ(blocker->Connect(0, "", name, 41088, false), 0);

    auto* session = new ClientClient(kTransportPipe);
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
