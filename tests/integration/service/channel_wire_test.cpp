// The cockpit-variable channel and the rack threads' call guard over a real connection:
// this process is the client, the test's peer is the simulator.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "app/sim_call.h"
#include "app/sim_session.h"
#include "testing/loopback_peer.h"
#include "testing/service_output.h"

namespace {

using namespace std::chrono_literals;
using loopback_peer::Bytes;
using loopback_peer::U32At;

// The client library reads SimConnect.cfg from the working directory and the registry
// file under HOME, so this program runs in folders of its own.
class ChannelWire : public testing::Test {
protected:
    void SetUp() override {
        const std::string pipe = "orvendale-channel-" + std::to_string(getpid());
        dir_.write("SimConnect.cfg", servicetest::pipeConfig(pipe));
        listener_ = loopback_peer::Listener::Pipe("\\\\.\\pipe\\" + pipe);
        ASSERT_TRUE(listener_);
        ASSERT_EQ(SimConnect_Open(&session_.hSimConnect, "ChannelTest", nullptr, 0, nullptr, 0), 0);
        session_.coon = true;
        peer_ = listener_->Accept();
        ASSERT_TRUE(peer_);
        ASSERT_EQ(U32At(peer_->ReadMessage(), 8), 0xF0000001u);  // the OPEN request
    }
    void TearDown() override {
        if (session_.coon) closeSimConnection(session_, rackMutex_);
    }

    // The 132-byte block of a SetClientData request to the uplink area.
    Bytes nextUplinkBlock() {
        const Bytes request = peer_->ReadMessage();
        if (request.size() != 168) return {};
        EXPECT_EQ(Bytes(request.begin() + 8, request.begin() + 12), (Bytes{0x3C, 0, 0, 0xF0}));
        for (auto [at, value] : {std::pair{16, 5322u}, {20, 5321u}, {24, 0u}, {28, 0u}, {32, 132u}})
            EXPECT_EQ(U32At(request, at), value) << at;
        return {request.begin() + 36, request.end()};
    }

    testsupport::WorkFolder dir_;
    StateLock stateLock_;
    RackMutex rackMutex_;
    SimSession session_{&stateLock_, &rackMutex_};
    std::optional<loopback_peer::Listener> listener_;
    std::optional<loopback_peer::Connection> peer_;
};

TEST_F(ChannelWire, UplinkBlocksCarryAFreshWordAndTheCommand) {
    const std::string name = "XMLVAR_Autopilot_Altitude_Increment";
    const std::string trigger = "(>H:A320_Neo_FCU_VS_PUSH)";
    {
        SimCallGuard call(session_, rackMutex_);
        ASSERT_TRUE(call.connectionOpen());
        EXPECT_TRUE(call.sendSetCommand(name, 1000));
        EXPECT_TRUE(call.sendSetCommand(name, 1000));
        EXPECT_TRUE(call.sendTriggerCommand(trigger));
    }
    const Bytes first = nextUplinkBlock(), second = nextUplinkBlock(), triggered = nextUplinkBlock();
    ASSERT_TRUE(first.size() == 132 && second.size() == 132 && triggered.size() == 132);
    // A fresh first word each time; then kind 3, the value's low 16 bits and the name.
    EXPECT_NE(U32At(first, 0), U32At(second, 0));
    Bytes command = {3, 0xE8, 0x03};
    command.insert(command.end(), name.begin(), name.end());
    command.resize(128);
    EXPECT_EQ(Bytes(first.begin() + 4, first.end()), command);
    EXPECT_EQ(Bytes(second.begin() + 4, second.end()), command);
    command = {2};
    command.insert(command.end(), trigger.begin(), trigger.end());
    command.resize(128);
    EXPECT_EQ(Bytes(triggered.begin() + 4, triggered.end()), command);
}

TEST_F(ChannelWire, CloseNeverMeetsARackThreadsCall) {
    std::atomic<int> sent{0};
    std::thread rack([&] {
        for (;;) {
            {
                SimCallGuard call(session_, rackMutex_);
                if (!call.connectionOpen()) return;
                call.transmitEvent(1, 0);
                ++sent;
            }
            std::this_thread::sleep_for(1ms);
        }
    });
    EXPECT_TRUE(testsupport::waitUntil([&] { return sent >= 20; }, 5s));
    closeSimConnection(session_, rackMutex_);
    EXPECT_FALSE(session_.coon);
    EXPECT_EQ(session_.lastResult, 0);
    rack.join();

    // Every call the guard let through reached the simulator, and none came after the close.
    int received = 0;
    for (Bytes request; !(request = peer_->ReadMessage(2s)).empty(); ++received)
        EXPECT_EQ(U32At(request, 8), 0xF0000005u);
    EXPECT_EQ(received, sent.load());
    EXPECT_FALSE(SimCallGuard(session_, rackMutex_).sendSetCommand("XMLVAR_Baro1_Mode", 1));
}

}  // namespace
