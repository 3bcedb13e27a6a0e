// The sim-standin program with the client library as its client, as the service uses it:
// endpoints, published ports, the stop request, and the endings that the service's runs
// and the benchmarks rely on.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>

#include "simconnect/SimConnect.h"
#include "testing/loopback_peer.h"
#include "testing/service_output.h"
#include "testing/standin_log.h"

namespace {

using namespace testsupport;

// The library's handle, configured by `cfg` alone (none: the defaults) in a working
// directory and HOME of its own; it keeps each dispatched message's receive id.
struct Client {
    explicit Client(const std::string& cfg) {
        if (!cfg.empty()) folder.write("SimConnect.cfg", cfg);
        opened = SimConnect_Open(&handle, "standin test", nullptr, 0, nullptr, 0) == S_OK;
    }
    ~Client() {
        if (handle != nullptr) SimConnect_Close(handle);
    }
    bool dispatch() {
        return SUCCEEDED(SimConnect_CallDispatch(
            handle,
            [](SIMCONNECT_RECV* message, DWORD, void* context) {
                static_cast<std::vector<DWORD>*>(context)->push_back(message->dwID);
            },
            &received));
    }
    std::size_t count(DWORD id) const { return std::ranges::count(received, id); }
    // Dispatches until a message with receive id `id` has come.
    bool waitFor(DWORD id) {
        waitUntil([&] { return !dispatch() || count(id) > 0; }, 5s, 2ms);
        return count(id) > 0;
    }

    WorkFolder folder;
    HANDLE handle = nullptr;
    bool opened = false;
    std::vector<DWORD> received;
};

// The endpoints the stand-in logged a connection on, in order.
std::vector<std::string> connections(const StandinRun& run) {
    std::vector<std::string> endpoints;
    for (const Json& e : StandinLog(run.logPath).select(entryWith("event", "connect")))
        endpoints.push_back(e.value("endpoint", ""));
    return endpoints;
}

TEST(StandinProcess, PublishesItsPortsAndRemovesThemAtExit) {
    TempDir home;
    const std::string registry = ".config/orvendale/registry.ini";
    home.write(registry, "[Other]\nA=1\n");
    const std::string name = loopback_peer::UniquePipeName("ports");
    StandinRun run = startStandin(home, {"--pipe-name", name});
    ASSERT_TRUE(run.ready) << run.process->output();
    EXPECT_EQ(run.endpoints.pipe, "\\\\.\\pipe\\" + name);
    const std::string published = home.read(registry);
    for (const auto& [family, port, address] : {std::tuple{"IPv4", run.endpoints.ipv4, "127.0.0.1"},
                                                 std::tuple{"IPv6", run.endpoints.ipv6, "::1"}}) {
        ASSERT_GT(port, 0);
        EXPECT_NE(published.find(std::string("SimConnect_Port_") + family + "=" + std::to_string(port)),
                  std::string::npos);
        Client client(std::string("[SimConnect]\nProtocol=") + family + "\nAddress=" + address +
                      "\nPort=" + std::to_string(port) + "\n");
        EXPECT_TRUE(client.opened && client.waitFor(SIMCONNECT_RECV_ID_OPEN)) << family;
    }

    // A stop request quits like the simulator: QUIT first, then the close.
    Client client(servicetest::pipeConfig(name));
    ASSERT_TRUE(client.opened && client.waitFor(SIMCONNECT_RECV_ID_OPEN));
    run.process->signal(SIGTERM);
    EXPECT_TRUE(client.waitFor(SIMCONNECT_RECV_ID_QUIT));
    EXPECT_TRUE(waitUntil([&] { return !client.dispatch(); }, 5s));
    EXPECT_EQ(run.process->waitExit(5s), 0);
    EXPECT_EQ(connections(run), (std::vector<std::string>{"ipv4", "ipv6", "pipe"}));
    EXPECT_EQ(home.read(registry), "[Other]\nA=1\n");
}

// A stand-in on a pipe of its own, with `args`, and then a client of it.
struct Session {
    explicit Session(std::vector<std::string> args)
        : standin(startStandin(standinHome, [&] {
              args.insert(args.end(), {"--pipe-name", pipeName, "--no-tcp"});
              return args;
          }())) {}
    TempDir standinHome;
    std::string pipeName = loopback_peer::UniquePipeName("client");
    StandinRun standin;
    Client client{servicetest::pipeConfig(pipeName)};
};

TEST(StandinEnding, QuitReachesAClientThatIsStillSendingThenTheStandInEnds) {
    // Requests the stand-in has not read when it quits must not reset the connection under
    // the QUIT it sent. The event is the client's own: no answer queues ahead of the QUIT.
    Session s({"--quit-after", "1"});
    Client& c = s.client;
    ASSERT_TRUE(s.standin.ready && c.opened) << s.standin.process->output();
    SimConnect_MapClientEventToSimEvent(c.handle, 1, "");
    EXPECT_TRUE(waitUntil(
        [&] {
            for (int i = 0; i < 200; ++i) SimConnect_TransmitClientEvent(c.handle, 0, 1, 0, 1, 16);
            return !c.dispatch() || c.count(SIMCONNECT_RECV_ID_QUIT) > 0;
        },
        5s, 1ms));
    EXPECT_EQ(c.count(SIMCONNECT_RECV_ID_QUIT), 1u);
    EXPECT_EQ(s.standin.process->waitExit(5s), 0);
}

// A simulator that hangs reads nothing more; the connection stays open and its output
// (here the quit) still comes.
TEST(StandinEnding, HungSimulatorLeavesRequestsUnreadAndTheConnectionOpen) {
    Session s({"--stop-reading-after", "1"});
    Client& c = s.client;
    ASSERT_TRUE(s.standin.ready && c.opened && c.waitFor(SIMCONNECT_RECV_ID_OPEN)) << s.standin.process->output();
    StandinLog log(s.standin.logPath);
    ASSERT_TRUE(log.waitForEvent("stop_reading", 5s));
    const std::size_t stopped = log.size();
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(SimConnect_TransmitClientEvent(c.handle, 0, 1, 0, 1, 16), S_OK);
    EXPECT_FALSE(log.waitForRequest("TransmitClientEvent", {}, 500ms, stopped));
    EXPECT_TRUE(c.dispatch());
    s.standin.process->signal(SIGINT);
    EXPECT_TRUE(c.waitFor(SIMCONNECT_RECV_ID_QUIT));
    EXPECT_EQ(s.standin.process->waitExit(5s), 0);
}

}  // namespace
