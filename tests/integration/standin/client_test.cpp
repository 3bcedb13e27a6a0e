// The client library against the running stand-in, as the service will use it: it reaches
// the stand-in's pipe through a SimConnect.cfg in its working directory.
#include <gtest/gtest.h>
#include <signal.h>

#include "simconnect/SimConnect.h"
#include "tests/integration/standin/raw_client.h"
#include "tests/support/service_output.h"
#include "tests/support/standin_log.h"

namespace {

using namespace wirebytes;
using namespace testsupport;

class StandinClient : public ::testing::Test {
protected:
    void SetUp() override {
        // HOME and the working directory are the test's own, so only this file configures
        // the library.
        home_.write("SimConnect.cfg", servicetest::pipeConfig(pipeName_));
    }
    void TearDown() override {
        if (handle_ != nullptr) SimConnect_Close(handle_);
    }

    void start(std::vector<std::string> args) {
        args.insert(args.end(), {"--pipe-name", pipeName_, "--no-tcp"});
        standin_ = startStandin(standinHome_, args);
        ASSERT_TRUE(standin_.ready) << standin_.process->output();
        ASSERT_EQ(SimConnect_Open(&handle_, "standin client test", nullptr, 0, nullptr, 0), S_OK);
    }
    // Dispatches what has come; every message is kept in received_.
    bool dispatch() {
        lastResult_ = SimConnect_CallDispatch(
            handle_,
            [](SIMCONNECT_RECV* message, DWORD size, void* context) {
                const auto* bytes = reinterpret_cast<const std::uint8_t*>(message);
                static_cast<std::vector<Bytes>*>(context)->emplace_back(bytes, bytes + size);
            },
            &received_);
        return SUCCEEDED(lastResult_);
    }
    // The messages with receive id `id` dispatched from index `from` on.
    std::vector<Bytes> received(std::uint32_t id, std::size_t from = 0) const {
        std::vector<Bytes> found;
        for (std::size_t i = from; i < received_.size(); ++i)
            if (messageId(received_[i]) == id) found.push_back(received_[i]);
        return found;
    }
    // Dispatches until `count` messages with receive id `id` have come from `from` on.
    std::optional<Bytes> waitFor(std::uint32_t id, std::chrono::milliseconds timeout,
                                 std::size_t from = 0, std::size_t count = 1) {
        if (!waitUntil([&] { return !dispatch() || received(id, from).size() >= count; }, timeout, 2ms) ||
            received(id, from).size() < count)
            return std::nullopt;
        return received(id, from).back();
    }

    WorkFolder home_;
    TempDir standinHome_;
    std::string pipeName_ = uniquePipeName("client");
    StandinRun standin_;
    HANDLE handle_ = nullptr;
    std::vector<Bytes> received_;
    HRESULT lastResult_ = S_OK;
};

TEST_F(StandinClient, OpenAnswerExceptionsObjectDataAndTheDownlinkReachTheLibrary) {
    start({"--app-name", "Stand-in Sim", "--simconnect-version", "11.0.62651.3"});
    const auto open = waitFor(SIMCONNECT_RECV_ID_OPEN, 5s);
    ASSERT_TRUE(open);
    const auto* answer = reinterpret_cast<const SIMCONNECT_RECV_OPEN*>(open->data());
    EXPECT_EQ(answer->dwSize, 308u);
    EXPECT_STREQ(answer->szApplicationName, "Stand-in Sim");
    EXPECT_EQ(answer->dwApplicationVersionMajor, 11u);
    EXPECT_EQ(answer->dwSimConnectBuildMajor, 62651u);

    // The library numbers requests from 1 (the OPEN); the exceptions name them.
    SimConnect_MapClientEventToSimEvent(handle_, 1, "NOT_AN_EVENT");
    SimConnect_AddToDataDefinition(handle_, 3, "KOHLSMAN SETTING MB:1", "furlongs",
                                   SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
    SimConnect_RequestDataOnSimObject(handle_, 4, 99, 0, SIMCONNECT_PERIOD_SECOND, 1, 0, 0, 0);
    ASSERT_TRUE(waitFor(SIMCONNECT_RECV_ID_EXCEPTION, 5s, 0, 3));
    std::vector<std::vector<DWORD>> exceptions;
    for (const Bytes& m : received(SIMCONNECT_RECV_ID_EXCEPTION)) {
        const auto* e = reinterpret_cast<const SIMCONNECT_RECV_EXCEPTION*>(m.data());
        exceptions.push_back({e->dwException, e->dwSendID, e->dwIndex});
    }
    EXPECT_EQ(exceptions, (std::vector<std::vector<DWORD>>{{SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 2, 2},
                                                           {SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 3, 3},
                                                           {SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 4, 2}}));

    // Object data: at once, then once a second and only on change.
    SimConnect_AddToDataDefinition(handle_, 4, "KOHLSMAN SETTING MB:1", "Millibars",
                                   SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
    SimConnect_AddToDataDefinition(handle_, 4, "AUTOPILOT FLIGHT DIRECTOR ACTIVE", "Bool",
                                   SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
    SimConnect_RequestDataOnSimObject(handle_, 4, 4, 0, SIMCONNECT_PERIOD_SECOND, 1, 0, 0, 0);
    SimConnect_MapClientEventToSimEvent(handle_, 8, "KOHLSMAN_INC");
    const auto first = waitFor(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 5s);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size(), 56u);
    EXPECT_DOUBLE_EQ(getDouble(*first, 40), 1013.25);
    for (int i = 0; i < 3; ++i) SimConnect_TransmitClientEvent(handle_, 0, 8, 0, 1, 16);
    const auto second = waitFor(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 5s, received_.size());
    ASSERT_TRUE(second);
    EXPECT_DOUBLE_EQ(getDouble(*second, 40), 1016.25);
    // The stand-in's own clock: the second answer waited for the second to pass.
    StandinLog log(standin_.logPath);
    const auto sent = log.messages("SIMOBJECT_DATA");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_GE(sent[1]["t"].get<double>() - sent[0]["t"].get<double>(), 0.999);

    // An uplink command changes the downlink block, which comes on change.
    SimConnect_AddToClientDataDefinition(handle_, 5321, 0, 132, 0, SIMCONNECT_UNUSED);
    SimConnect_MapClientDataNameToID(handle_, "orvendale.downlink", 5321);
    SimConnect_MapClientDataNameToID(handle_, "orvendale.uplink", 5322);
    SimConnect_RequestClientData(handle_, 5321, 5322, 5321, SIMCONNECT_CLIENT_DATA_PERIOD_ON_SET, 1, 0, 0, 0);
    const auto block = waitFor(SIMCONNECT_RECV_ID_CLIENT_DATA, 5s);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->size(), 172u);
    EXPECT_EQ(get32(*block, 12), 5322u);
    EXPECT_EQ(get32(*block, 40 + 4 + 76), 2500u);  // A32NX_AUTOPILOT_SPEED_SELECTED, tenths
    Bytes command = uplinkBlock(7, 3, "A32NX_AUTOPILOT_SPEED_SELECTED", 321);
    const std::size_t from = received_.size();
    ASSERT_EQ(SimConnect_SetClientData(handle_, 5322, 5321, 0, 0, 132, command.data()), S_OK);
    const auto changed = waitFor(SIMCONNECT_RECV_ID_CLIENT_DATA, 5s, from);
    ASSERT_TRUE(changed);
    EXPECT_EQ(get32(*changed, 40 + 4 + 76), 3210u);
    ASSERT_TRUE(log.waitForRequest("SetClientData", {}, 1s));
    EXPECT_EQ(log.uplinkCommands().at(0).at("effect"), "set");

    // A malformed client is closed, and this one goes on.
    Connection bad = connectPipe("\\\\.\\pipe\\" + pipeName_);
    ASSERT_TRUE(bad.Write(words({3, 0, 0, 0})));
    EXPECT_TRUE(bad.WaitClosed());
    SimConnect_MapClientEventToSimEvent(handle_, 9, "AP_MASTER");
    SimConnect_TransmitClientEvent(handle_, 0, 9, 0, 1, 16);
    EXPECT_TRUE(log.waitForChange("A32NX_AUTOPILOT_1_ACTIVE", [](double v) { return v == 10; }, 5s));

    // No change, no data: nothing more within the next second and a half.
    EXPECT_FALSE(waitFor(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 1500ms, from));
}

TEST_F(StandinClient, QuitReachesAClientThatIsStillSendingThenTheStandInEnds) {
    // Requests the stand-in has not read when it quits must not reset the connection under
    // the QUIT it sent.
    start({"--quit-after", "1"});
    EXPECT_TRUE(waitUntil(
        [&] {
            for (int i = 0; i < 200; ++i) SimConnect_TransmitClientEvent(handle_, 0, 1, 0, 1, 16);
            return !dispatch() || !received(SIMCONNECT_RECV_ID_QUIT).empty();
        },
        5s, 1ms));
    EXPECT_EQ(received(SIMCONNECT_RECV_ID_QUIT).size(), 1u);
    EXPECT_EQ(standin_.process->waitExit(5s), 0);
}

// The connection breaks in the middle of a message: the library delivers no part of it,
// and its calls report the broken pipe.
TEST_F(StandinClient, BreakMidMessageFailsTheConnectionWithoutQuitOrAPart) {
    start({"--break-after", "1.5", "--break-mid-message"});
    ASSERT_TRUE(waitFor(SIMCONNECT_RECV_ID_OPEN, 5s));
    const std::size_t from = received_.size();
    EXPECT_TRUE(waitUntil([&] { return !dispatch(); }, 5s));
    EXPECT_EQ(static_cast<std::uint32_t>(lastResult_), 0xC000014Bu);
    EXPECT_EQ(received_.size(), from);
    EXPECT_EQ(standin_.process->waitExit(5s), 0);
    StandinLog log(standin_.logPath);
    EXPECT_TRUE(log.waitForEvent("break", 1s));
    const auto cut = log.waitForMessage("EXCEPTION", memberIs("cut_from", 24), 1s);
    ASSERT_TRUE(cut);
    EXPECT_EQ((*cut)["size"], 16);
}

// A simulator that hangs reads nothing more; the connection stays open and its output
// (here the quit) still comes.
TEST_F(StandinClient, HungSimulatorLeavesRequestsUnreadAndTheConnectionOpen) {
    start({"--stop-reading-after", "1"});
    ASSERT_TRUE(waitFor(SIMCONNECT_RECV_ID_OPEN, 5s));
    StandinLog log(standin_.logPath);
    ASSERT_TRUE(log.waitForEvent("stop_reading", 5s));
    const std::size_t stopped = log.size();
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(SimConnect_TransmitClientEvent(handle_, 0, 1, 0, 1, 16), S_OK);
    EXPECT_FALSE(log.waitForRequest("TransmitClientEvent", {}, 500ms, stopped));
    EXPECT_TRUE(dispatch());
    standin_.process->signal(SIGINT);
    EXPECT_TRUE(waitFor(SIMCONNECT_RECV_ID_QUIT, 5s));
    EXPECT_EQ(standin_.process->waitExit(5s), 0);
}

}  // namespace
