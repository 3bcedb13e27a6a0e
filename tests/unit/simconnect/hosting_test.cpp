// In-process hosting with a host made of plain functions: registration on the open
// answer, attaching, requests placed in host memory, and messages the host delivers.
#include "hosting.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <mutex>

#include "base/little_endian.h"
#include "host_records.h"
#include "testing/request_bytes.h"
#include "peer_session.h"

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

// The simulator's side of hosting: what the library asked of it, in order, with the
// blocks it handed out named by their number ("alloc 276", "commit 276 #0").
struct Host {
    std::uint32_t connection = 0;
    bool refuseAlloc = false;
    std::vector<std::unique_ptr<unsigned char[]>> memory;
    std::vector<std::string> calls;

    void Called(std::uint32_t hostId, std::uint32_t connectionId, const std::string& call) {
        const bool ours = hostId == kHostId && connectionId == connection;
        calls.push_back(ours ? call : call + " for another session");
    }
    std::string Name(const void* block) const {
        for (std::size_t i = 0; i < memory.size(); ++i)
            if (memory[i].get() == block) return "#" + std::to_string(i);
        return "a block of its own";
    }
};
Host host;
std::string Address(const void* block) { return std::to_string(reinterpret_cast<std::uintptr_t>(block)); }

void* HostAllocBlock(std::uint32_t hostId, std::uint32_t connectionId, std::uint32_t size) {
    host.Called(hostId, connectionId, "alloc " + std::to_string(size));
    if (host.refuseAlloc) return nullptr;
    // Host memory is not clean; the library must zero what it reserves.
    host.memory.push_back(std::make_unique<unsigned char[]>(size));
    std::memset(host.memory.back().get(), 0xAB, size);
    return host.memory.back().get();
}
void HostFreeBlock(std::uint32_t hostId, std::uint32_t connectionId, void* block, void* again) {
    host.Called(hostId, connectionId, "free " + host.Name(block) + " " + host.Name(again));
}
void HostCommitBlock(std::uint32_t hostId, std::uint32_t connectionId, std::uint32_t size, void* block) {
    host.Called(hostId, connectionId, "commit " + std::to_string(size) + " " + host.Name(block));
}
void HostReleaseBlock(std::uint32_t hostId, std::uint32_t connectionId, void* block) {
    host.Called(hostId, connectionId, "release " + Address(block));
}
void* OtherHostAlloc(std::uint32_t, std::uint32_t, std::uint32_t) {
    host.calls.push_back("another host's alloc");
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
struct RegisteredSession {
    RegisteredSession() {
        host = Host{};
        host.connection = s.session()->ConnectionId();
        s.session()->NoteHostWindow(kHostWindow);
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
    PeerSession s{"hosting"};
    const unsigned char* record = nullptr;
    hostrecords::AttachFn attach = nullptr;
    hostrecords::DeliverFn deliver = nullptr;
};

}  // namespace

TEST(Hosting, OpenAnswerRegistersOnceWithTheHostsWindow) {
    RegisteredSession hosted;
    ASSERT_NE(hosted.record, nullptr);
    EXPECT_EQ(hosted.posts.posts[0].first, kHostWindow);
    const Bytes words = wirebytes::words({32, 1, kHostId, host.connection});
    EXPECT_EQ(Bytes(hosted.record, hosted.record + 16), words);

    // A later open answer changes nothing.
    hosted.s.peer->Write(OpenAnswer(9));
    ASSERT_TRUE(WaitForQueued(hosted.s.session(), 1));
    DispatchOnce(hosted.s.handle);
    EXPECT_EQ(hosted.posts.posts.size(), 1u);
    EXPECT_EQ(Bytes(hosted.record, hosted.record + 16), words);
}

TEST(Hosting, NoRegistrationWithoutAWindowOrAHostId) {
    HostPosts posts;
    PeerSession unhosted("hosting-none");
    PeerSession zero("hosting-zero");
    zero.session()->NoteHostWindow(kHostWindow);
    unhosted.peer->Write(OpenAnswer(kHostId));
    zero.peer->Write(OpenAnswer(0));
    ASSERT_TRUE(WaitForQueued(unhosted.session(), 1));
    ASSERT_TRUE(WaitForQueued(zero.session(), 1));
    EXPECT_EQ(DispatchOnce(unhosted.handle).messages.size(), 1u);
    EXPECT_EQ(DispatchOnce(zero.handle).messages.size(), 1u);
    EXPECT_TRUE(posts.posts.empty());
    // Host id 0 is an id like any other: a host that names it finds the session.
    EXPECT_EQ(HostAttach(Attach(0, zero.session()->ConnectionId()).bytes), 1);
}

TEST(Hosting, AttachAcceptsOnlyAWellFormedRecordForARegisteredSession) {
    RegisteredSession hosted;
    ASSERT_NE(hosted.attach, nullptr);
    const std::uint32_t connection = host.connection;
    std::vector<hostrecords::AttachRecord> refused(5, Attach(kHostId, connection));
    StoreU32(refused[0].bytes + 4, 1);  // version 1
    StoreU32(refused[1].bytes, 40);     // too short
    hostrecords::PutAddress(refused[2].bytes + 32, 0);  // a function missing
    StoreU32(refused[3].bytes + 8, kHostId + 1);
    StoreU32(refused[4].bytes + 12, connection + 1);
    EXPECT_EQ(hosted.attach(nullptr), 0);
    for (const auto& record : refused) EXPECT_EQ(hosted.attach(record.bytes), 0);
    EXPECT_TRUE(hosted.Attached());
    // A second attach is refused and the first host's functions stay.
    EXPECT_EQ(hosted.attach(Attach(kHostId, connection, true).bytes), 0);
    ASSERT_EQ(SimConnect_TransmitClientEvent(hosted.s.handle, 0, 1, 0, 1, 16), S_OK);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"alloc 36", "commit 36 #0"}));
}

TEST(Hosting, RequestsGoToHostMemoryAndDeliveredMessagesBackToTheHost) {
    RegisteredSession hosted;
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

    // Messages the host delivers reach the application and go back to the host.
    host.calls.clear();
    Bytes event = MakeMessage(SIMCONNECT_RECV_ID_EVENT, {0xFFFFFFFFu, 0, 0});
    Bytes stranger = event;
    const auto size = static_cast<std::uint32_t>(event.size());
    hosted.deliver(kHostId + 1, host.connection, size, stranger.data());
    EXPECT_EQ(hosted.s.session()->TEST_QueuedMessages(), 0u);
    hosted.deliver(kHostId, host.connection, size, event.data());
    EXPECT_EQ(hosted.s.session()->TEST_QueuedMessages(), 1u);
    EXPECT_EQ(DispatchOnce(hosted.s.handle).messages, std::vector<Bytes>{event});
    EXPECT_EQ(host.calls, std::vector<std::string>{"release " + Address(event.data())});
}
