// The client library against the running stand-in, as the service will use it: it reaches
// the stand-in's pipe through a SimConnect.cfg in its working directory. The StandinClient
// cases share one stand-in and one open handle, in the order written: ctest runs this
// program as a whole. Exceptions, and the object data's timing in detail, are checked on a
// clock the test sets (session_test).
#include <gtest/gtest.h>
#include <signal.h>

#include "simconnect/SimConnect.h"
#include "tests/support/request_bytes.h"
#include "tests/support/service_output.h"
#include "tests/support/standin_log.h"

namespace {

using namespace wirebytes;
using namespace testsupport;

// A stand-in on a pipe of its own, and the library's handle on it. HOME and the working
// directory are the test's own, so only this SimConnect.cfg configures the library.
struct Session {
    explicit Session(std::vector<std::string> args) {
        home_.write("SimConnect.cfg", servicetest::pipeConfig(pipeName_));
        args.insert(args.end(), {"--pipe-name", pipeName_, "--no-tcp"});
        standin = startStandin(standinHome_, args);
        opened = standin.ready &&
                 SimConnect_Open(&handle, "standin client test", nullptr, 0, nullptr, 0) == S_OK;
    }
    ~Session() {
        if (handle != nullptr) SimConnect_Close(handle);
    }

    // Dispatches what has come; every message is kept.
    bool dispatch() {
        return SUCCEEDED(SimConnect_CallDispatch(
            handle,
            [](SIMCONNECT_RECV* message, DWORD size, void* context) {
                const auto* bytes = reinterpret_cast<const std::uint8_t*>(message);
                static_cast<std::vector<Bytes>*>(context)->emplace_back(bytes, bytes + size);
            },
            &messages));
    }
    // The messages with receive id `id` dispatched from index `from` on.
    std::vector<Bytes> received(std::uint32_t id, std::size_t from = 0) const {
        std::vector<Bytes> found;
        for (std::size_t i = from; i < messages.size(); ++i)
            if (messageId(messages[i]) == id) found.push_back(messages[i]);
        return found;
    }
    // Dispatches until `count` messages with receive id `id` have come from `from` on.
    std::optional<Bytes> waitFor(std::uint32_t id, std::size_t from = 0, std::size_t count = 1) {
        const auto enough = [&] { return received(id, from).size() >= count; };
        waitUntil([&] { return !dispatch() || enough(); }, 5s, 2ms);
        return enough() ? std::optional(received(id, from).back()) : std::nullopt;
    }

    WorkFolder home_;
    TempDir standinHome_;
    std::string pipeName_ = uniquePipeName("client");
    StandinRun standin;
    HANDLE handle = nullptr;
    bool opened = false;
    std::vector<Bytes> messages;
};

class StandinClient : public ::testing::Test {
protected:
    static void SetUpTestSuite() { session = new Session({"--app-name", "Stand-in Sim"}); }
    static void TearDownTestSuite() { delete session; }
    void SetUp() override { ASSERT_TRUE(session->opened) << session->standin.process->output(); }

    static inline Session* session = nullptr;
    Session& s = *session;
};

TEST_F(StandinClient, OpenAnswerNamesTheSimulator) {
    const auto open = s.waitFor(SIMCONNECT_RECV_ID_OPEN);
    ASSERT_TRUE(open);
    const auto* answer = reinterpret_cast<const SIMCONNECT_RECV_OPEN*>(open->data());
    EXPECT_EQ(answer->dwSize, 308u);
    EXPECT_STREQ(answer->szApplicationName, "Stand-in Sim");
    EXPECT_EQ(answer->dwSimConnectBuildMajor, 62651u);
}

// The second answer is due a second after the first, with no request to wake the stand-in.
TEST_F(StandinClient, ObjectDataComesAtOnceThenOnChangeOnTheStandInsOwnTime) {
    SimConnect_AddToDataDefinition(s.handle, 4, "KOHLSMAN SETTING MB:1", "Millibars",
                                   SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
    SimConnect_RequestDataOnSimObject(s.handle, 4, 4, 0, SIMCONNECT_PERIOD_SECOND, 1, 0, 0, 0);
    SimConnect_MapClientEventToSimEvent(s.handle, 8, "KOHLSMAN_INC");
    const auto first = s.waitFor(SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    ASSERT_TRUE(first);
    EXPECT_DOUBLE_EQ(getDouble(*first, 40), 1013.25);
    const std::size_t from = s.messages.size();
    SimConnect_TransmitClientEvent(s.handle, 0, 8, 0, 1, 16);
    const auto second = s.waitFor(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, from);
    ASSERT_TRUE(second);
    EXPECT_DOUBLE_EQ(getDouble(*second, 40), 1014.25);
}

TEST_F(StandinClient, AnUplinkCommandChangesTheDownlinkBlock) {
    SimConnect_AddToClientDataDefinition(s.handle, 5321, 0, 132, 0, SIMCONNECT_UNUSED);
    SimConnect_MapClientDataNameToID(s.handle, "orvendale.downlink", 5321);
    SimConnect_MapClientDataNameToID(s.handle, "orvendale.uplink", 5322);
    SimConnect_RequestClientData(s.handle, 5321, 5322, 5321, SIMCONNECT_CLIENT_DATA_PERIOD_ON_SET,
                                 1, 0, 0, 0);
    const auto block = s.waitFor(SIMCONNECT_RECV_ID_CLIENT_DATA);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->size(), 172u);
    EXPECT_EQ(get32(*block, 12), 5322u);
    EXPECT_EQ(get32(*block, 40 + 4 + 76), 2500u);  // A32NX_AUTOPILOT_SPEED_SELECTED, tenths
    Bytes command = uplinkBlock(7, 3, "A32NX_AUTOPILOT_SPEED_SELECTED", 321);
    const std::size_t from = s.messages.size();
    ASSERT_EQ(SimConnect_SetClientData(s.handle, 5322, 5321, 0, 0, 132, command.data()), S_OK);
    const auto changed = s.waitFor(SIMCONNECT_RECV_ID_CLIENT_DATA, from);
    ASSERT_TRUE(changed);
    EXPECT_EQ(get32(*changed, 40 + 4 + 76), 3210u);
}

TEST(StandinEnding, QuitReachesAClientThatIsStillSendingThenTheStandInEnds) {
    // Requests the stand-in has not read when it quits must not reset the connection under
    // the QUIT it sent. The event is the client's own: no answer queues ahead of the QUIT.
    Session s({"--quit-after", "1"});
    ASSERT_TRUE(s.opened) << s.standin.process->output();
    SimConnect_MapClientEventToSimEvent(s.handle, 1, "");
    EXPECT_TRUE(waitUntil(
        [&] {
            for (int i = 0; i < 200; ++i) SimConnect_TransmitClientEvent(s.handle, 0, 1, 0, 1, 16);
            return !s.dispatch() || !s.received(SIMCONNECT_RECV_ID_QUIT).empty();
        },
        5s, 1ms));
    EXPECT_EQ(s.received(SIMCONNECT_RECV_ID_QUIT).size(), 1u);
    EXPECT_EQ(s.standin.process->waitExit(5s), 0);
}

// The connection breaks in the middle of a message: the library delivers no part of it,
// and its calls report the broken pipe.
TEST(StandinEnding, BreakMidMessageFailsTheConnectionWithoutQuitOrAPart) {
    Session s({"--break-after", "1.5", "--break-mid-message"});
    ASSERT_TRUE(s.opened) << s.standin.process->output();
    ASSERT_TRUE(s.waitFor(SIMCONNECT_RECV_ID_OPEN));
    const std::size_t from = s.messages.size();
    EXPECT_TRUE(waitUntil([&] { return !s.dispatch(); }, 5s));
    EXPECT_EQ(static_cast<std::uint32_t>(SimConnect_CallDispatch(
                  s.handle, [](SIMCONNECT_RECV*, DWORD, void*) {}, nullptr)),
              0xC000014Bu);
    EXPECT_EQ(s.messages.size(), from);
    EXPECT_TRUE(s.received(SIMCONNECT_RECV_ID_QUIT).empty());
    EXPECT_EQ(s.standin.process->waitExit(5s), 0);
    StandinLog log(s.standin.logPath);
    EXPECT_TRUE(log.waitForEvent("break", 1s));
    const auto cut = log.waitForMessage("EXCEPTION", memberIs("cut_from", 24), 1s);
    ASSERT_TRUE(cut);
    EXPECT_EQ((*cut)["size"], 16);
}

// A simulator that hangs reads nothing more; the connection stays open and its output
// (here the quit) still comes.
TEST(StandinEnding, HungSimulatorLeavesRequestsUnreadAndTheConnectionOpen) {
    Session s({"--stop-reading-after", "1"});
    ASSERT_TRUE(s.opened) << s.standin.process->output();
    ASSERT_TRUE(s.waitFor(SIMCONNECT_RECV_ID_OPEN));
    StandinLog log(s.standin.logPath);
    ASSERT_TRUE(log.waitForEvent("stop_reading", 5s));
    const std::size_t stopped = log.size();
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(SimConnect_TransmitClientEvent(s.handle, 0, 1, 0, 1, 16), S_OK);
    EXPECT_FALSE(log.waitForRequest("TransmitClientEvent", {}, 500ms, stopped));
    EXPECT_TRUE(s.dispatch());
    s.standin.process->signal(SIGINT);
    EXPECT_TRUE(s.waitFor(SIMCONNECT_RECV_ID_QUIT));
    EXPECT_EQ(s.standin.process->waitExit(5s), 0);
}

}  // namespace
