// The session: send ids, dispatch and notification, a failed connection, and closing.
#include "session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "library_state.h"
#include "testing/process.h"
#include "testing/request_bytes.h"
#include "peer_session.h"

using loopback_peer::Bytes;
using loopback_peer::MakeMessage;
using loopback_peer::U32At;
using namespace std::chrono_literals;

namespace {

// Records what it is told. When `hold` is set, it holds the first window message until
// the test lets it go, and counts the messages it finishes after `closed` was set.
struct RecordingSink : NotificationSink {
    explicit RecordingSink(bool holdFirst = false) : hold(holdFirst) { previous = SetNotificationSink(this); }
    ~RecordingSink() override { SetNotificationSink(previous); }
    void PostWindowMessage(HWND window, std::uint32_t message) override {
        if (hold && !held.exchange(true)) {
            std::unique_lock<std::mutex> guard(lock);
            released.wait_for(guard, 10s, [&] { return letGo; });
        }
        if (closed.load()) ++late;
        std::lock_guard<std::mutex> guard(lock);
        posts.emplace_back(window, message);
    }
    void SignalEvent(HANDLE) override { ++events; }
    std::size_t Posts() {
        std::lock_guard<std::mutex> guard(lock);
        return posts.size();
    }
    void LetGo() {
        std::lock_guard<std::mutex> guard(lock);
        letGo = true;
        released.notify_all();
    }

    const bool hold;
    NotificationSink* previous = nullptr;
    std::mutex lock;
    std::condition_variable released;
    bool letGo = false;
    std::atomic<bool> held{false}, closed{false};
    std::atomic<int> late{0};
    std::vector<std::pair<HWND, std::uint32_t>> posts;
    std::atomic<std::size_t> events{0};
};

HWND const kWindow = reinterpret_cast<HWND>(0x1234);
HANDLE const kEvent = reinterpret_cast<HANDLE>(0x5678);

}  // namespace

TEST(Session, SendIdsCountFromOneAndSkipZero) {
    PeerSession s("sendids");
    EXPECT_EQ(U32At(s.openRequest, 12), 1u);
    s.session()->TEST_SetLastSendId(0xFFFFFFFEu);
    ASSERT_EQ(SimConnect_TransmitClientEvent(s.handle, 0, 1, 0, 1, 16), S_OK);
    ASSERT_EQ(SimConnect_TransmitClientEvent(s.handle, 0, 1, 0, 1, 16), S_OK);
    EXPECT_EQ(U32At(s.peer->ReadMessage(), 12), 0xFFFFFFFFu);
    EXPECT_EQ(U32At(s.peer->ReadMessage(), 12), 1u);
}

TEST(Session, DispatchPassesEverythingQueuedInArrivalOrderAndNotifiesEachMessage) {
    RecordingSink sink;
    PeerSession s("dispatch", {.window = kWindow, .message = 0x401, .event = kEvent});
    Dispatched empty = DispatchOnce(s.handle);
    EXPECT_EQ(empty.result, S_OK);
    EXPECT_TRUE(empty.messages.empty());
    EXPECT_EQ(SimConnect_CallDispatch(s.handle, nullptr, nullptr), E_FAIL);

    const std::vector<Bytes> sent = {MakeMessage(2, std::vector<std::uint32_t>(74, 0)),
                                     MakeMessage(4, {0xFFFFFFFF, 0, 0}), MakeMessage(3, {})};
    // One write: the messages are cut apart.
    ASSERT_TRUE(s.peer->Write(wirebytes::join(wirebytes::join(sent[0], sent[1]), sent[2])));
    ASSERT_TRUE(WaitForQueued(s.session(), 3));
    EXPECT_EQ(DispatchOnce(s.handle).messages, sent);
    EXPECT_EQ(sink.Posts(), 3u);
    EXPECT_EQ(sink.events.load(), 3u);
    EXPECT_EQ(sink.posts.front(), std::make_pair(kWindow, std::uint32_t{0x401}));

    // A message shorter than the receive header reaches nobody.
    ASSERT_TRUE(s.peer->Write(Bytes{4, 0, 0, 0}));
    ASSERT_TRUE(testsupport::waitUntil([&] { return sink.Posts() == 4; }, 5000ms));
    EXPECT_TRUE(DispatchOnce(s.handle).messages.empty());
}

TEST(Session, BrokenConnectionDeliversWhatWasQueuedThenTheStoredFailure) {
    RecordingSink sink;
    PeerSession s("broken", {.window = kWindow, .message = 0x401});
    const Bytes event = MakeMessage(4, {0xFFFFFFFF, 0, 0});
    ASSERT_TRUE(s.peer->Write(event));
    ASSERT_TRUE(s.peer->Write(event));
    s.peer->Close();
    ASSERT_TRUE(WaitForFailure(s.session()));
    // Two messages and the failure, each told once.
    ASSERT_TRUE(testsupport::waitUntil([&] { return sink.Posts() == 3; }, 5000ms));
    // The pipe's server went away: a broken pipe, as Windows reports it.
    EXPECT_EQ(s.session()->TEST_Failure(), FailureKind::Broken);
    const Dispatched dispatched = DispatchOnce(s.handle);
    EXPECT_EQ(dispatched.messages.size(), 2u);
    EXPECT_EQ(static_cast<std::uint32_t>(dispatched.result), 0xC000014Bu);

    // Every request now returns the stored failure and sends nothing, before its
    // arguments are looked at.
    const HRESULT failed = static_cast<HRESULT>(0xC000014Bu);
    EXPECT_EQ(SimConnect_TransmitClientEvent(s.handle, 0, 1, 0, 1, 16), failed);
    EXPECT_EQ(SimConnect_SetClientData(s.handle, 1, 1, 0, 0, 8, nullptr), failed);
    EXPECT_EQ(SimConnect_MapClientEventToSimEvent(s.handle, 1, "A"), failed);
    EXPECT_EQ(s.session()->TEST_BuildAreaUsed(), 0u);
    EXPECT_EQ(s.Close(), S_OK);
    EXPECT_EQ(sink.Posts(), 3u);
}

TEST(Session, NothingIsToldOnceCloseHasReturned) {
    RecordingSink sink(true);
    PeerSession s("quiet", {.window = kWindow, .message = 0x401});
    ASSERT_TRUE(s.peer->Write(MakeMessage(4, {0xFFFFFFFF, 0, 0})));
    ASSERT_TRUE(testsupport::waitUntil([&] { return sink.held.load(); }, 5000ms));
    // The close waits for the window message under way.
    std::jthread closer([&] {
        s.Close();
        sink.closed = true;
    });
    EXPECT_FALSE(testsupport::waitUntil([&] { return sink.closed.load(); }, 300ms));
    sink.LetGo();
    ASSERT_TRUE(testsupport::waitUntil([&] { return sink.closed.load(); }, 5000ms));
    EXPECT_EQ(sink.late.load(), 0);
}

TEST(Session, ClosingHandsOverWhatIsQueuedAndReleasesEverything) {
    PeerSession s("close");
    for (int i = 0; i < 50; ++i) ASSERT_EQ(SimConnect_TransmitClientEvent(s.handle, 0, i, 0, 1, 16), S_OK);
    EXPECT_EQ(s.Close(), S_OK);
    const Bytes rest = s.peer->ReadUntilClosed();
    ASSERT_EQ(rest.size(), 50u * 36u);
    EXPECT_EQ(U32At(rest, 49 * 36 + 20), 49u);
    EXPECT_EQ(Library().liveClients.load(), 0);
    EXPECT_EQ(CloseSession(nullptr), 1);
}

// The application may close the connection from inside its callback (on the quit, say):
// the message in hand is its last, the rest are dropped, and the close finishes once the
// dispatch call returns, without waiting out its bound.
TEST(Session, ClosingInsideTheCallbackEndsTheDelivery) {
    PeerSession s("close-inside");
    for (std::uint32_t id : {4u, 3u, 4u}) ASSERT_TRUE(s.peer->Write(MakeMessage(id, {0, 0, 0})));
    ASSERT_TRUE(WaitForQueued(s.session(), 3));
    struct Context {
        HANDLE handle;
        std::vector<DWORD> ids;
    } context{s.handle, {}};
    const auto started = std::chrono::steady_clock::now();
    const HRESULT result = SimConnect_CallDispatch(
        s.handle,
        [](SIMCONNECT_RECV* data, DWORD, void* raw) {
            auto* c = static_cast<Context*>(raw);
            c->ids.push_back(data->dwID);
            if (data->dwID == 3) SimConnect_Close(c->handle);
        },
        &context);
    s.handle = nullptr;
    EXPECT_EQ(result, S_OK);
    EXPECT_EQ(context.ids, (std::vector<DWORD>{4, 3}));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    EXPECT_EQ(Library().liveClients.load(), 0);
    EXPECT_EQ(Library().head, nullptr);
}

TEST(Session, RedispatchReachesEverySessionThroughItsLastFunction) {
    PeerSession s("redispatch");
    // The first call remembers the function and its context.
    std::vector<DWORD> ids;
    const DispatchProc collect = [](SIMCONNECT_RECV* data, DWORD, void* context) {
        static_cast<std::vector<DWORD>*>(context)->push_back(data->dwID);
    };
    ASSERT_EQ(SimConnect_CallDispatch(s.handle, collect, &ids), S_OK);
    ASSERT_TRUE(s.peer->Write(MakeMessage(3, {})));
    ASSERT_TRUE(WaitForQueued(s.session(), 1));
    const auto redispatch = reinterpret_cast<DispatchProc>(static_cast<std::intptr_t>(-2));
    const auto marker = reinterpret_cast<void*>(static_cast<std::intptr_t>(-3));
    EXPECT_EQ(SimConnect_CallDispatch(nullptr, redispatch, marker), E_FAIL);
    EXPECT_EQ(ids, std::vector<DWORD>{3});
}

TEST(Session, IdsSessionListAndSocketsFollowOpensAndClosesInAnyOrder) {
    Library().connectionIdCounter.store(0xFFFFFFFFu);
    PeerSession first("list1"), second("list2", {.tcp = true}), third("list3");
    EXPECT_EQ(first.session()->ConnectionId(), 1u);  // never 0
    EXPECT_EQ(Library().head, first.session());
    EXPECT_EQ(Library().tail, third.session());
    ClientClient* last = third.session();
    EXPECT_EQ(second.Close(), S_OK);
    EXPECT_EQ(first.Close(), S_OK);
    EXPECT_EQ(Library().head, last);
    EXPECT_EQ(Library().tail, last);
    // The sockets stop with the last session, whatever its transport, and start again.
    EXPECT_TRUE(Library().socketsStarted.load());
    EXPECT_EQ(third.Close(), S_OK);
    EXPECT_EQ(Library().head, nullptr);
    EXPECT_EQ(Library().liveSessions.load(), 0);
    EXPECT_FALSE(Library().socketsStarted.load());
    first.Open("list4", {.tcp = true});
    EXPECT_TRUE(Library().socketsStarted.load());
}

TEST(Session, DispatchRunsBesideARequestingThread) {
    PeerSession s("concurrent");
    constexpr int kCount = 2000;
    std::thread requester([&] {
        for (int i = 0; i < kCount; ++i) SimConnect_TransmitClientEvent(s.handle, 0, i, 0, 1, 16);
    });
    // The peer answers every request with one event while the main thread dispatches.
    std::thread answerer([&] {
        const Bytes event = MakeMessage(4, {0xFFFFFFFF, 0, 0});
        for (int i = 0; i < kCount && s.peer->ReadMessage().size() == 36; ++i) s.peer->Write(event);
    });
    std::size_t received = 0;
    testsupport::waitUntil(
        [&] {
            received += DispatchOnce(s.handle).messages.size();
            return received == kCount;
        },
        10000ms, 1ms);
    requester.join();
    answerer.join();
    EXPECT_EQ(received, std::size_t{kCount});
}
