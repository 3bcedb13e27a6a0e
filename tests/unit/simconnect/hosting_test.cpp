// In-process hosting with a host made of plain functions: registration on the open
// answer, attaching, requests placed in host memory, and messages the host delivers.
#include "simconnect/src/hosting.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <sstream>

#include "bytes/little_endian.h"
#include "tests/support/host_records.h"
#include "tests/support/request_bytes.h"
#include "tests/unit/simconnect/peer_session.h"

using loopback_peer::Bytes;
using loopback_peer::MakeMessage;
using loopback_peer::U32At;

namespace {

HWND const kHostWindow = reinterpret_cast<HWND>(0x4242);
constexpr std::uint32_t kHostId = 7;

struct HostPosts : HostCommandSink {
    HostPosts() { previous = SetHostCommandSink(this); }
    ~HostPosts() override { SetHostCommandSink(previous); }
    void PostHostCommand(HWND window, std::intptr_t lParam) override {
        std::lock_guard<std::mutex> guard(lock);
        posts.emplace_back(window, lParam);
    }
    HostCommandSink* previous = nullptr;
    std::mutex lock;
    std::vector<std::pair<HWND, std::intptr_t>> posts;
};

template <typename... Parts>
std::string Text(const Parts&... parts) {
    std::ostringstream text;
    (text << ... << parts);
    return text.str();
}

// The simulator's side of hosting: what the library asked of it, in order, with the
// blocks it handed out named by their number ("alloc 276", "commit 276 #0").
struct Host {
    std::uint32_t connection = 0;
    bool refuseAlloc = false;
    std::vector<std::unique_ptr<unsigned char[]>> memory;
    std::vector<std::string> calls;

    void Called(std::uint32_t hostId, std::uint32_t connectionId, const std::string& call) {
        calls.push_back(hostId == kHostId && connectionId == connection
                            ? call
                            : Text(call, " for another session"));
    }
    std::string Name(const void* block) const {
        for (std::size_t i = 0; i < memory.size(); ++i)
            if (memory[i].get() == block) return Text("#", i);
        return "a block of its own";
    }
};
Host host;
std::size_t otherHostAllocs = 0;

void* HostAllocBlock(std::uint32_t hostId, std::uint32_t connectionId, std::uint32_t size) {
    host.Called(hostId, connectionId, Text("alloc ", size));
    if (host.refuseAlloc) return nullptr;
    // Host memory is not clean; the library must zero what it reserves.
    host.memory.push_back(std::make_unique<unsigned char[]>(size));
    std::memset(host.memory.back().get(), 0xAB, size);
    return host.memory.back().get();
}
void HostFreeBlock(std::uint32_t hostId, std::uint32_t connectionId, void* block, void* again) {
    host.Called(hostId, connectionId, Text("free ", host.Name(block), " ", host.Name(again)));
}
void HostCommitBlock(std::uint32_t hostId, std::uint32_t connectionId, std::uint32_t size, void* block) {
    host.Called(hostId, connectionId, Text("commit ", size, " ", host.Name(block)));
}
void HostReleaseBlock(std::uint32_t hostId, std::uint32_t connectionId, void* block) {
    host.Called(hostId, connectionId, Text("release ", block));
}
void* OtherHostAlloc(std::uint32_t, std::uint32_t, std::uint32_t) {
    ++otherHostAllocs;
    return nullptr;
}

Bytes OpenAnswer(std::uint32_t reserved) {
    std::vector<std::uint32_t> fields((308 - 12) / 4, 0);
    fields[(300 - 12) / 4] = reserved;
    return MakeMessage(SIMCONNECT_RECV_ID_OPEN, fields);
}

// An attach record with this test's host functions (or another host's allocator).
hostrecords::AttachRecord Attach(std::uint32_t hostId, std::uint32_t connectionId, bool other = false) {
    return {hostId, connectionId, other ? &OtherHostAlloc : &HostAllocBlock, &HostFreeBlock, &HostCommitBlock,
            &HostReleaseBlock};
}

// A session registered with the host as a hosting simulator would see it: the window was
// noted at open, and the open answer named host connection 7.
struct HostedSession {
    HostedSession() {
        OpenPeerSession(s, "hosting");
        host = Host{};
        host.connection = s.session()->ConnectionId();
        otherHostAllocs = 0;
        NoteHostWindow(s.session(), kHostWindow);
        s.peer->Write(OpenAnswer(kHostId));
        EXPECT_TRUE(WaitForQueued(s.session(), 1));
        EXPECT_EQ(DispatchOnce(s.handle).messages.size(), 1u);
        EXPECT_EQ(posts.posts.size(), 1u);
        if (posts.posts.empty()) return;
        record = reinterpret_cast<const unsigned char*>(posts.posts[0].second);
        attach = hostrecords::AttachOf(record);
        deliver = hostrecords::DeliverOf(record);
    }
    // Attaches this test's host; true when accepted.
    bool Attached() { return attach != nullptr && attach(Attach(kHostId, host.connection).bytes) == 1; }

    HostPosts posts;
    PeerSession s;
    const unsigned char* record = nullptr;
    hostrecords::AttachFn attach = nullptr;
    hostrecords::DeliverFn deliver = nullptr;
};

}  // namespace

TEST(Hosting, OpenAnswerRegistersOnceWithTheHostsWindow) {
    HostedSession hosted;
    ASSERT_NE(hosted.record, nullptr);
    EXPECT_EQ(hosted.posts.posts[0].first, kHostWindow);
    const auto words = [&] {
        return std::vector<std::uint32_t>{LoadU32(hosted.record), LoadU32(hosted.record + 4),
                                          LoadU32(hosted.record + 8), LoadU32(hosted.record + 12)};
    };
    EXPECT_EQ(words(), (std::vector<std::uint32_t>{32, 1, kHostId, host.connection}));
    EXPECT_TRUE(hosted.attach == &HostAttach);
    EXPECT_TRUE(hosted.deliver == &HostDeliver);

    // A later open answer changes nothing.
    hosted.s.peer->Write(OpenAnswer(9));
    ASSERT_TRUE(WaitForQueued(hosted.s.session(), 1));
    DispatchOnce(hosted.s.handle);
    EXPECT_EQ(hosted.posts.posts.size(), 1u);
    EXPECT_EQ(words(), (std::vector<std::uint32_t>{32, 1, kHostId, host.connection}));
}

TEST(Hosting, NoRegistrationWithoutAWindowOrAHostId) {
    HostPosts posts;
    PeerSession unhosted;
    OpenPeerSession(unhosted, "hosting-none");
    PeerSession zero;
    OpenPeerSession(zero, "hosting-zero");
    NoteHostWindow(zero.session(), kHostWindow);
    unhosted.peer->Write(OpenAnswer(kHostId));
    zero.peer->Write(OpenAnswer(0));
    ASSERT_TRUE(WaitForQueued(unhosted.session(), 1));
    ASSERT_TRUE(WaitForQueued(zero.session(), 1));
    EXPECT_EQ(DispatchOnce(unhosted.handle).messages.size(), 1u);
    EXPECT_EQ(DispatchOnce(zero.handle).messages.size(), 1u);
    EXPECT_TRUE(posts.posts.empty());
    // Host id 0 is an id like any other: a host that names it finds the session.
    EXPECT_EQ(HostAttach(Attach(0, zero.session()->ConnectionId()).bytes), 1);
    // Without an attached host every request goes through the transport.
    ASSERT_EQ(SimConnect_TransmitClientEvent(unhosted.handle, 0, 1, 0, 1, 16), S_OK);
    EXPECT_EQ(U32At(unhosted.peer->ReadMessage(), 12), 2u);
}

TEST(Hosting, AttachAcceptsOnlyAWellFormedRecordForARegisteredSession) {
    HostedSession hosted;
    ASSERT_NE(hosted.attach, nullptr);
    const std::uint32_t connection = host.connection;
    auto versionOne = Attach(kHostId, connection);
    StoreU32(versionOne.bytes + 4, 1);
    auto shortRecord = Attach(kHostId, connection);
    StoreU32(shortRecord.bytes, 40);
    auto missingFunction = Attach(kHostId, connection);
    hostrecords::PutAddress(missingFunction.bytes + 32, 0);
    // Named, so that every record outlives the loop below.
    auto otherHost = Attach(kHostId + 1, connection);
    auto otherConnection = Attach(kHostId, connection + 1);
    const void* refusedRecords[] = {nullptr,         versionOne.bytes,      shortRecord.bytes,
                                    otherHost.bytes, otherConnection.bytes, missingFunction.bytes};
    for (const void* refused : refusedRecords) EXPECT_EQ(hosted.attach(refused), 0);
    EXPECT_TRUE(hosted.Attached());
    // A second attach is refused and the first host's functions stay.
    EXPECT_EQ(hosted.attach(Attach(kHostId, connection, true).bytes), 0);
    ASSERT_EQ(SimConnect_TransmitClientEvent(hosted.s.handle, 0, 1, 0, 1, 16), S_OK);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"alloc 36", "commit 36 #0"}));
    EXPECT_EQ(otherHostAllocs, 0u);
}

TEST(Hosting, RequestsGoToHostMemoryWhileAttached) {
    HostedSession hosted;
    ASSERT_TRUE(hosted.Attached());
    ASSERT_EQ(SimConnect_MapClientEventToSimEvent(hosted.s.handle, 5, "AB"), S_OK);
    ASSERT_EQ(host.calls, (std::vector<std::string>{"alloc 276", "commit 276 #0"}));
    // The send id after the OPEN request's 1, the event, its name, and zeros after it.
    const unsigned char* block = host.memory[0].get();
    Bytes expected = wirebytes::words({276, 5, 0xF0000004, 2, 5});
    expected.insert(expected.end(), {'A', 'B'});
    expected.resize(276);
    EXPECT_EQ(Bytes(block, block + 276), expected);

    // A text that does not fit gives its host block back, uncommitted; when the host has
    // no memory the request takes the usual way, through the pipe.
    EXPECT_EQ(SimConnect_MapClientEventToSimEvent(hosted.s.handle, 9, std::string(300, 'x').c_str()),
              SIMCONNECT_E_TEXT_TOO_LONG);
    host.refuseAlloc = true;
    ASSERT_EQ(SimConnect_TransmitClientEvent(hosted.s.handle, 0, 6, 1, 1, 16), S_OK);
    const Bytes sent = hosted.s.peer->ReadMessage();
    EXPECT_EQ(U32At(sent, 12), 4u);
    EXPECT_EQ(U32At(sent, 20), 6u);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"alloc 276", "commit 276 #0", "alloc 276", "free #1 #1",
                                                    "alloc 36"}));
}

TEST(Hosting, DeliveredMessagesReachTheApplicationAndGoBackToTheHost) {
    HostedSession hosted;
    ASSERT_TRUE(hosted.Attached());
    Bytes event = MakeMessage(SIMCONNECT_RECV_ID_EVENT, {0xFFFFFFFFu, 0, 0});
    Bytes stranger = event;
    const auto size = static_cast<std::uint32_t>(event.size());
    hosted.deliver(kHostId + 1, host.connection, size, stranger.data());
    EXPECT_EQ(hosted.s.session()->QueuedMessages(), 0u);
    hosted.deliver(kHostId, host.connection, size, event.data());
    EXPECT_EQ(hosted.s.session()->QueuedMessages(), 1u);
    EXPECT_EQ(DispatchOnce(hosted.s.handle).messages, std::vector<Bytes>{event});
    EXPECT_EQ(host.calls, std::vector<std::string>{Text("release ", static_cast<void*>(event.data()))});
}
