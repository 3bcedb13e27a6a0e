// The sim-standin program over real sockets: endpoints, published ports, the stop request,
// and clients whose bytes are wrong.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/un.h>

#include <cstring>

#include "simconnect/SimConnect.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/request_bytes.h"
#include "tests/support/standin_log.h"

namespace {

using namespace wirebytes;
using namespace testsupport;
using loopback_peer::Connection;

// Clients that speak bytes, not the library: they send what a sound client never would.
Connection connectTo(int family, const void* address, std::size_t length) {
    Connection client(socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (connect(client.fd(), static_cast<const sockaddr*>(address), static_cast<socklen_t>(length)))
        client.Close();
    return client;
}

// The abstract Unix socket named by the pipe path.
Connection connectPipe(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, path.data(), path.size());
    return connectTo(AF_UNIX, &address, offsetof(sockaddr_un, sun_path) + 1 + path.size());
}

Connection connectTcp(int family, int port) {
    sockaddr_in6 v6{AF_INET6, htons(static_cast<std::uint16_t>(port)), 0, in6addr_loopback, 0};
    sockaddr_in v4{AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    return family == AF_INET6 ? connectTo(family, &v6, sizeof v6)
                              : connectTo(family, &v4, sizeof v4);
}

// A client on the pipe whose OPEN has been answered.
Connection openedClient(const std::string& pipe) {
    Connection client = connectPipe(pipe);
    EXPECT_TRUE(client.Write(openRequest()));
    const Bytes answer = client.ReadMessage();
    EXPECT_TRUE(answer.size() == 308 && messageId(answer) == SIMCONNECT_RECV_ID_OPEN);
    return client;
}

TEST(StandinProcess, PublishesItsPortsAndRemovesThemAtExit) {
    TempDir home;
    const std::string registry = ".config/orvendale/registry.ini";
    home.write(registry, "[Other]\nA=1\n");
    const std::string name = uniquePipeName("ports");
    StandinRun run = startStandin(home, {"--pipe-name", name});
    ASSERT_TRUE(run.ready) << run.process->output();
    EXPECT_EQ(run.endpoints.pipe, "\\\\.\\pipe\\" + name);
    EXPECT_TRUE(
        run.process->waitForOutput("sim-standin: ready pipe=" + run.endpoints.pipe +
                                       " ipv4=127.0.0.1:" + std::to_string(run.endpoints.ipv4) +
                                       " ipv6=[::1]:" + std::to_string(run.endpoints.ipv6) + "\n",
                                   5s));
    const std::string published = home.read(registry);
    for (const auto& [family, port, value] :
         {std::tuple{AF_INET, run.endpoints.ipv4, "IPv4="}, {AF_INET6, run.endpoints.ipv6, "IPv6="}}) {
        ASSERT_GT(port, 0);
        EXPECT_NE(published.find("SimConnect_Port_" + (value + std::to_string(port))), std::string::npos);
        Connection client = connectTcp(family, port);
        ASSERT_TRUE(client.Write(openRequest()));
        EXPECT_EQ(client.ReadMessage().size(), 308u);
    }

    // A stop request quits like the simulator: QUIT first, then the close.
    Connection client = openedClient(run.endpoints.pipe);
    run.process->signal(SIGTERM);
    EXPECT_EQ(client.ReadMessage(), loopback_peer::MakeMessage(SIMCONNECT_RECV_ID_QUIT, {}));
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_EQ(run.process->waitExit(5s), 0);
    EXPECT_EQ(home.read(registry), "[Other]\nA=1\n");
}

TEST(StandinProcess, MalformedClientsAreClosedAndOthersGoOn) {
    TempDir home;
    StandinRun run = startStandin(home, {"--pipe-name", uniquePipeName("malformed"), "--no-tcp"});
    ASSERT_TRUE(run.ready) << run.process->output();
    Connection good = openedClient(run.endpoints.pipe);

    Bytes cutShort = openRequest();
    cutShort.resize(100);
    for (const Bytes& bad : {words({8, 5, 0xF0000001u}), words({41089, 5, 0xF0000001u, 1}), cutShort}) {
        Connection client = connectPipe(run.endpoints.pipe);
        ASSERT_TRUE(client.Write(bad));
        shutdown(client.fd(), SHUT_WR);
        EXPECT_TRUE(client.WaitClosed());
    }
    StandinLog log(run.logPath);
    std::vector<std::string> reasons;
    EXPECT_TRUE(waitUntil(
        [&] {
            reasons.clear();
            for (const Json& e : log.select(entryWith("event", "malformed"))) reasons.push_back(e["reason"]);
            return reasons.size() == 3;
        },
        5s));
    EXPECT_EQ(reasons, (std::vector<std::string>{"length 8 below 16", "length 41089 above the limit of 41088",
                                                 "request cut short at close (100 bytes)"}));

    // The sound client is still served.
    ASSERT_TRUE(good.Write(mapEvent(2, 1, "NOT_AN_EVENT")));
    const Bytes answer = good.ReadMessage();
    EXPECT_EQ(messageId(answer), SIMCONNECT_RECV_ID_EXCEPTION);
    EXPECT_EQ(get32(answer, 16), 2u);
    EXPECT_TRUE(run.process->running());
}

TEST(StandinDefaultPipe, ServesTheSimulatorsPipeAlone) {
    TempDir home;
    StandinRun run = startStandin(home, {"--no-tcp"});
    ASSERT_TRUE(run.ready) << run.process->output();
    EXPECT_EQ(run.endpoints.pipe, "\\\\.\\pipe\\Microsoft Flight Simulator\\SimConnect");
    Connection client = openedClient(run.endpoints.pipe);

    // The pipe is one name for the whole machine: a second stand-in cannot have it.
    TempDir other;
    ChildProcess second({{binaryPath("sim-standin"), "--no-tcp"}, other.path(), {{"HOME", other.path()}}});
    EXPECT_EQ(second.waitExit(5s), 1);
    EXPECT_NE(second.output().find("cannot listen on pipe"), std::string::npos) << second.output();
}

}  // namespace
