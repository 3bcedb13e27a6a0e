// The cockpit-variable channel and the rack threads' call guard over a real connection:
// this process is the client, the test's peer is the simulator.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "app/sim_call.h"
#include "app/sim_session.h"
#include "tests/integration/service/sim_peer.h"
#include "tests/support/process.h"

namespace {

using namespace std::chrono_literals;
using namespace servicetest;

// The client library reads SimConnect.cfg from the working directory and the registry
// file under HOME, so this program runs in folders of its own.
class ChannelWire : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new testsupport::TempDir;
        dir_->write("SimConnect.cfg", pipeConfig(pipeName()));
        ASSERT_EQ(chdir(dir_->path().c_str()), 0);
        setenv("HOME", dir_->path().c_str(), 1);
    }
    static void TearDownTestSuite() {
        if (chdir("/") != 0) std::abort();
        delete dir_;
    }
    static std::string pipeName() { return "orvendale-channel-" + std::to_string(getpid()); }

    void SetUp() override {
        peer_ = std::make_unique<SimPeer>(pipeName());
        ASSERT_EQ(SimConnect_Open(&session_.hSimConnect, "ChannelTest", nullptr, 0, nullptr, 0), 0);
        session_.coon = true;
        ASSERT_TRUE(peer_->accept(5s));
        const auto open = peer_->next(5s);
        ASSERT_TRUE(open.has_value());
        ASSERT_EQ(open->id(), 1u);
    }
    void TearDown() override {
        if (session_.coon) closeSimConnection(session_, rackMutex_);
    }

    // The 132-byte block of a SetClientData request to the uplink area.
    std::vector<std::uint8_t> nextUplinkBlock() {
        const auto request = peer_->next(5s);
        if (!request) return {};
        EXPECT_EQ(request->id(), 60u);
        EXPECT_EQ(request->bytes.size(), 168u);
        EXPECT_EQ(request->word(16), 5322u);
        EXPECT_EQ(request->word(20), 5321u);
        EXPECT_EQ(request->word(24), 0u);
        EXPECT_EQ(request->word(28), 0u);
        EXPECT_EQ(request->word(32), 132u);
        return {request->bytes.begin() + 36, request->bytes.end()};
    }

    static testsupport::TempDir* dir_;
    StateLock stateLock_;
    RackMutex rackMutex_;
    SimSession session_{&stateLock_};
    std::unique_ptr<SimPeer> peer_;
};

testsupport::TempDir* ChannelWire::dir_ = nullptr;

TEST_F(ChannelWire, UplinkBlocksCarryAFreshWordAndTheCommand) {
    const std::string name = "XMLVAR_Autopilot_Altitude_Increment";
    {
        SimCallGuard call(session_, rackMutex_);
        ASSERT_TRUE(call.connectionOpen());
        EXPECT_TRUE(session_.sendSetCommand(name, 1000));
        EXPECT_TRUE(session_.sendSetCommand(name, 1000));
        EXPECT_TRUE(session_.sendTriggerCommand("(>H:A320_Neo_FCU_VS_PUSH)"));
    }
    const auto first = nextUplinkBlock();
    const auto second = nextUplinkBlock();
    const auto trigger = nextUplinkBlock();
    ASSERT_EQ(first.size(), 132u);
    ASSERT_EQ(second.size(), 132u);
    ASSERT_EQ(trigger.size(), 132u);

    EXPECT_FALSE(std::equal(first.begin(), first.begin() + 4, second.begin()));
    EXPECT_TRUE(std::equal(first.begin() + 4, first.end(), second.begin() + 4));
    EXPECT_EQ(first[4], 3);
    EXPECT_EQ(first[5], 0xE8);
    EXPECT_EQ(first[6], 0x03);
    EXPECT_EQ(std::string(first.begin() + 7, first.begin() + 7 + name.size()), name);
    for (std::size_t i = 7 + name.size(); i < first.size(); ++i) ASSERT_EQ(first[i], 0) << i;

    EXPECT_EQ(trigger[4], 2);
    EXPECT_EQ(std::string(trigger.begin() + 5, trigger.begin() + 30), "(>H:A320_Neo_FCU_VS_PUSH)");
    for (std::size_t i = 30; i < trigger.size(); ++i) ASSERT_EQ(trigger[i], 0) << i;
}

TEST_F(ChannelWire, CloseNeverMeetsARackThreadsCall) {
    std::atomic<int> sent{0};
    std::thread rack([&] {
        for (;;) {
            {
                SimCallGuard call(session_, rackMutex_);
                if (!call.connectionOpen()) return;
                session_.lastResult =
                    SimConnect_TransmitClientEvent(session_.hSimConnect, 0, 1, 0, 1, 16);
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
    while (const auto request = peer_->next(2s)) {
        EXPECT_EQ(request->id(), 5u);
        ++received;
    }
    EXPECT_EQ(received, sent.load());
    EXPECT_FALSE(session_.sendSetCommand("XMLVAR_Baro1_Mode", 1));
}

}  // namespace
