// The main thread's wait between dispatch calls, over a real connection: a message that
// arrives, or the failure that ends the connection, ends the wait at once, also when it
// came before the wait began; with nothing arriving, the wait lasts its bound.
#include "app/message_signal.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>

#include "session.h"
#include "testing/loopback_peer.h"
#include "testing/process.h"
#include "testing/service_output.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A session opened with the signal's event to a peer of the test's own, the peer's end
// accepted and the OPEN request read off it. The client library reads SimConnect.cfg from
// the working folder, which is the test's own.
class SignalledSession : public testing::Test {
protected:
    void SetUp() override {
        const std::string pipe = loopback_peer::UniquePipeName("signal");
        folder_.write("SimConnect.cfg", servicetest::pipeConfig(pipe));
        listener_ = loopback_peer::Listener::Pipe("\\\\.\\pipe\\" + pipe);
        ASSERT_TRUE(listener_);
        ASSERT_EQ(SimConnect_Open(&handle_, "SignalTest", nullptr, 0, signal_.eventHandle(), 0),
                  S_OK);
        peer_ = listener_->Accept();
        ASSERT_TRUE(peer_);
        ASSERT_FALSE(peer_->ReadMessage().empty());
        // Anything signalled so far is taken.
        signal_.wait(0ms);
    }
    void TearDown() override {
        if (handle_ != nullptr) SimConnect_Close(handle_);
    }

    // How long a wait of at most `limit` took.
    Clock::duration timedWait(std::chrono::milliseconds limit) {
        const auto started = Clock::now();
        signal_.wait(limit);
        return Clock::now() - started;
    }
    HRESULT dispatch(int& count) {
        return SimConnect_CallDispatch(
            handle_, [](SIMCONNECT_RECV*, DWORD, void* c) { ++*static_cast<int*>(c); }, &count);
    }

    testsupport::WorkFolder folder_;
    MessageSignal signal_;
    std::optional<loopback_peer::Listener> listener_;
    std::optional<loopback_peer::Connection> peer_;
    HANDLE handle_ = nullptr;
};

// A message sent while the wait is under way ends it, and so does one that came before.
TEST_F(SignalledSession, AMessageEndsTheWaitAtOnce) {
    std::jthread sender([&] {
        std::this_thread::sleep_for(100ms);
        peer_->Write(loopback_peer::MakeMessage(4, {0xFFFFFFFF, 0, 0}));
    });
    EXPECT_LT(timedWait(5s), 2s);
    sender.join();
    ASSERT_TRUE(peer_->Write(loopback_peer::MakeMessage(4, {0xFFFFFFFF, 0, 0})));
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return static_cast<ClientClient*>(handle_)->TEST_QueuedMessages() == 2; }, 5000ms));
    EXPECT_LT(timedWait(5s), 2s);
    // The signal was taken: with nothing more arriving, the next wait lasts its bound.
    EXPECT_GE(timedWait(200ms), 190ms);
    int count = 0;
    EXPECT_EQ(dispatch(count), S_OK);
    EXPECT_EQ(count, 2);
}

TEST_F(SignalledSession, TheEndOfTheConnectionEndsTheWait) {
    peer_->Close();
    EXPECT_LT(timedWait(5s), 2s);
    int count = 0;
    EXPECT_EQ(static_cast<std::uint32_t>(dispatch(count)), 0xC000014Bu);
}

}  // namespace
