// In-process hosting with a host made of plain functions: registration on the open
// answer, attaching, requests placed in host memory, and messages the host delivers.
#include "simconnect/hosting.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <mutex>

#include "simconnect/wire.h"
#include "tests/support/host_records.h"
#include "tests/unit/simconnect/peer_session.h"

using loopback_peer::Bytes;
using loopback_peer::MakeMessage;
using loopback_peer::U32At;
using namespace std::chrono_literals;

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

// The simulator's side of hosting: what the library asked of it.
struct Host {
    bool refuseAlloc = false;
    std::vector<std::unique_ptr<unsigned char[]>> memory;
    std::vector<std::uint32_t> allocSizes;
    std::vector<std::pair<std::uint32_t, void*>> commits;
    std::vector<std::pair<void*, void*>> frees;
    std::vector<void*> releases;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ids;  // of every call
};
Host host;
std::size_t otherHostAllocs = 0;

void* HostAllocBlock(std::uint32_t hostId, std::uint32_t connectionId, std::uint32_t size) {
    host.ids.emplace_back(hostId, connectionId);
    host.allocSizes.push_back(size);
    if (host.refuseAlloc) return nullptr;
    // Host memory is not clean; the library must zero what it reserves.
    host.memory.push_back(std::make_unique<unsigned char[]>(size));
    std::memset(host.memory.back().get(), 0xAB, size);
    return host.memory.back().get();
}
void HostFreeBlock(std::uint32_t hostId, std::uint32_t connectionId, void* block, void* again) {
    host.ids.emplace_back(hostId, connectionId);
    host.frees.emplace_back(block, again);
}
void HostCommitBlock(std::uint32_t hostId, std::uint32_t connectionId, std::uint32_t size, void* block) {
    host.ids.emplace_back(hostId, connectionId);
    host.commits.emplace_back(size, block);
}
void HostReleaseBlock(std::uint32_t hostId, std::uint32_t connectionId, void* block) {
    host.ids.emplace_back(hostId, connectionId);
    host.releases.push_back(block);
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
        host = Host{};
        otherHostAllocs = 0;
        OpenPeerSession(s, "hosting");
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
    std::uint32_t ConnectionId() const { return s.session()->ConnectionId(); }

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
    EXPECT_EQ(LoadU32(hosted.record), 32u);
    EXPECT_EQ(LoadU32(hosted.record + 4), 1u);
    EXPECT_EQ(LoadU32(hosted.record + 8), kHostId);
    EXPECT_EQ(LoadU32(hosted.record + 12), hosted.ConnectionId());
    EXPECT_TRUE(hosted.attach == &HostAttach);
    EXPECT_TRUE(hosted.deliver == &HostDeliver);

    // A later open answer changes nothing.
    hosted.s.peer->Write(OpenAnswer(9));
    ASSERT_TRUE(WaitForQueued(hosted.s.session(), 1));
    DispatchOnce(hosted.s.handle);
    EXPECT_EQ(hosted.posts.posts.size(), 1u);
    EXPECT_EQ(LoadU32(hosted.record + 8), kHostId);
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
    // Without an attached host every request goes through the transport.
    ASSERT_EQ(SimConnect_TransmitClientEvent(unhosted.handle, 0, 1, 0, 1, 16), S_OK);
    EXPECT_EQ(U32At(unhosted.peer->ReadMessage(), 12), 2u);
}

TEST(Hosting, AttachAcceptsOnlyAWellFormedRecordForARegisteredSession) {
    HostedSession hosted;
    ASSERT_NE(hosted.attach, nullptr);
    const std::uint32_t connection = hosted.ConnectionId();
    auto versionOne = Attach(kHostId, connection);
    StoreU32(versionOne.bytes + 4, 1);
    auto shortRecord = Attach(kHostId, connection);
    StoreU32(shortRecord.bytes, 40);
    auto missingFunction = Attach(kHostId, connection);
    hostrecords::PutAddress(missingFunction.bytes + 32, 0);
    EXPECT_EQ(hosted.attach(nullptr), 0);
    EXPECT_EQ(hosted.attach(versionOne.bytes), 0);
    EXPECT_EQ(hosted.attach(shortRecord.bytes), 0);
    EXPECT_EQ(hosted.attach(Attach(kHostId + 1, connection).bytes), 0);
    EXPECT_EQ(hosted.attach(Attach(kHostId, connection + 1).bytes), 0);
    EXPECT_EQ(hosted.attach(missingFunction.bytes), 0);
    EXPECT_EQ(hosted.attach(Attach(kHostId, connection).bytes), 1);
    // A second attach is refused and the first host's functions stay.
    EXPECT_EQ(hosted.attach(Attach(kHostId, connection, true).bytes), 0);
    ASSERT_EQ(SimConnect_TransmitClientEvent(hosted.s.handle, 0, 1, 0, 1, 16), S_OK);
    EXPECT_EQ(host.allocSizes.size(), 1u);
    EXPECT_EQ(otherHostAllocs, 0u);
}

TEST(Hosting, RequestsGoToHostMemoryWhileAttached) {
    HostedSession hosted;
    ASSERT_NE(hosted.attach, nullptr);
    ASSERT_EQ(hosted.attach(Attach(kHostId, hosted.ConnectionId()).bytes), 1);

    ASSERT_EQ(SimConnect_MapClientEventToSimEvent(hosted.s.handle, 5, "AB"), S_OK);
    ASSERT_EQ(host.commits.size(), 1u);
    ASSERT_EQ(host.allocSizes, std::vector<std::uint32_t>{276});
    auto* block = static_cast<unsigned char*>(host.commits[0].second);
    EXPECT_EQ(host.commits[0].first, 276u);
    EXPECT_EQ(LoadU32(block), 276u);
    EXPECT_EQ(LoadU32(block + 12), 2u);  // the send id after the OPEN request's 1
    EXPECT_EQ(LoadU32(block + 16), 5u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block + 20)), "AB");
    for (std::size_t i = 22; i < 276; ++i) ASSERT_EQ(block[i], 0) << i;

    // A text that does not fit gives its host block back, uncommitted.
    const std::string tooLong(300, 'x');
    EXPECT_EQ(SimConnect_MapClientEventToSimEvent(hosted.s.handle, 9, tooLong.c_str()),
              SIMCONNECT_E_TEXT_TOO_LONG);
    ASSERT_EQ(host.frees.size(), 1u);
    EXPECT_EQ(host.frees[0].first, host.memory.back().get());
    EXPECT_EQ(host.frees[0].second, host.memory.back().get());
    EXPECT_EQ(host.commits.size(), 1u);

    // When the host has no memory the request takes the usual way, through the pipe.
    host.refuseAlloc = true;
    ASSERT_EQ(SimConnect_TransmitClientEvent(hosted.s.handle, 0, 6, 1, 1, 16), S_OK);
    const Bytes sent = hosted.s.peer->ReadMessage();
    EXPECT_EQ(U32At(sent, 12), 4u);
    EXPECT_EQ(U32At(sent, 20), 6u);
    EXPECT_EQ(host.commits.size(), 1u);
    for (const auto& [hostId, connection] : host.ids) {
        EXPECT_EQ(hostId, kHostId);
        EXPECT_EQ(connection, hosted.ConnectionId());
    }
}

TEST(Hosting, DeliveredMessagesReachTheApplicationAndGoBackToTheHost) {
    HostedSession hosted;
    ASSERT_NE(hosted.deliver, nullptr);
    ASSERT_EQ(hosted.attach(Attach(kHostId, hosted.ConnectionId()).bytes), 1);
    Bytes event = MakeMessage(SIMCONNECT_RECV_ID_EVENT, {0xFFFFFFFFu, 0, 0});
    Bytes stranger = event;
    hosted.deliver(kHostId + 1, hosted.ConnectionId(), static_cast<std::uint32_t>(stranger.size()),
                   stranger.data());
    EXPECT_EQ(hosted.s.session()->QueuedMessages(), 0u);
    hosted.deliver(kHostId, hosted.ConnectionId(), static_cast<std::uint32_t>(event.size()),
                   event.data());
    EXPECT_EQ(hosted.s.session()->QueuedMessages(), 1u);
    const Dispatched dispatched = DispatchOnce(hosted.s.handle);
    ASSERT_EQ(dispatched.messages.size(), 1u);
    EXPECT_EQ(dispatched.messages[0], event);
    ASSERT_EQ(host.releases.size(), 1u);
    EXPECT_EQ(host.releases[0], event.data());
}
