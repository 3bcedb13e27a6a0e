// The sim-standin program over real sockets: endpoints, published ports, scenarios, and
// clients whose bytes are wrong.
#include <gtest/gtest.h>
#include <signal.h>

#include "simconnect/SimConnect.h"
#include "tests/integration/standin/raw_client.h"
#include "tests/support/standin_log.h"

namespace {

using namespace standin_test;
using namespace testsupport;

std::string pipePath(const std::string& name) {
    return "\\\\.\\pipe\\" + name;
}

// A client on the pipe whose OPEN has been answered.
RawClient openedClient(const std::string& pipe) {
    RawClient client = RawClient::pipe(pipe);
    EXPECT_TRUE(client.connected());
    EXPECT_TRUE(client.send(openRequest()));
    const auto answer = client.receive(1, 5s);
    EXPECT_TRUE(!answer.empty() && messageId(answer[0]) == SIMCONNECT_RECV_ID_OPEN);
    return client;
}

TEST(StandinProcess, PublishesItsPortsAndRemovesThemAtExit) {
    TempDir home;
    const std::string registry = ".config/orvendale/registry.ini";
    home.write(registry, "[Other]\nA=1\n");
    const std::string name = uniquePipeName("ports");
    StandinRun run = startStandin(home, {"--pipe-name", name});
    ASSERT_TRUE(run.ready) << run.process->output();
    EXPECT_EQ(run.endpoints.pipe, pipePath(name));
    ASSERT_GT(run.endpoints.ipv4, 0);
    ASSERT_GT(run.endpoints.ipv6, 0);
    const std::string published = home.read(registry);
    EXPECT_NE(published.find("SimConnect_Port_IPv4=" + std::to_string(run.endpoints.ipv4)),
              std::string::npos);
    EXPECT_NE(published.find("SimConnect_Port_IPv6=" + std::to_string(run.endpoints.ipv6)),
              std::string::npos);

    for (const auto& [family, port] :
         {std::pair{AF_INET, run.endpoints.ipv4}, {AF_INET6, run.endpoints.ipv6}}) {
        RawClient client = RawClient::tcp(family, port);
        ASSERT_TRUE(client.connected());
        ASSERT_TRUE(client.send(openRequest()));
        const auto answer = client.receive(1, 5s);
        ASSERT_EQ(answer.size(), 1u);
        EXPECT_EQ(answer[0].size(), 308u);
    }

    // A stop request quits like the simulator: QUIT first, then the close.
    RawClient client = openedClient(run.endpoints.pipe);
    run.process->signal(SIGTERM);
    EXPECT_TRUE(client.waitClosed(5s));
    const auto messages = client.receive(2, 0ms);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messageId(messages[1]), SIMCONNECT_RECV_ID_QUIT);
    EXPECT_EQ(run.process->waitExit(5s), 0);
    EXPECT_EQ(home.read(registry), "[Other]\nA=1\n");
}

TEST(StandinProcess, MalformedClientsAreClosedAndOthersGoOn) {
    TempDir home;
    StandinRun run = startStandin(home, {"--pipe-name", uniquePipeName("malformed"), "--no-tcp"});
    ASSERT_TRUE(run.ready) << run.process->output();
    RawClient good = openedClient(run.endpoints.pipe);

    RawClient shortLength = RawClient::pipe(run.endpoints.pipe);
    shortLength.send(words({8, 5, 0xF0000001u}));
    EXPECT_TRUE(shortLength.waitClosed(5s));
    RawClient longLength = RawClient::pipe(run.endpoints.pipe);
    longLength.send(words({41089, 5, 0xF0000001u, 1}));
    EXPECT_TRUE(longLength.waitClosed(5s));
    RawClient cutShort = RawClient::pipe(run.endpoints.pipe);
    Bytes half = openRequest();
    half.resize(100);
    cutShort.send(half);
    cutShort.closeWrite();
    EXPECT_TRUE(cutShort.waitClosed(5s));

    StandinLog log(run.logPath);
    ASSERT_TRUE(waitUntil(
        [&] {
            std::size_t malformed = 0;
            for (const Json& e : log.entries()) malformed += e.value("event", "") == "malformed";
            return malformed == 3;
        },
        5s));
    EXPECT_TRUE(log.waitFor(
        [](const Json& e) {
            return e.value("reason", "") == "request cut short at close (100 bytes)";
        },
        1s));

    // The sound client is still served.
    ASSERT_TRUE(good.send(mapEvent(2, 1, "NOT_AN_EVENT")));
    const auto answers = good.receive(2, 5s);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(messageId(answers[1]), SIMCONNECT_RECV_ID_EXCEPTION);
    EXPECT_EQ(get32(answers[1], 16), 2u);
    EXPECT_TRUE(run.process->running());
}

TEST(StandinProcess, QuitAfterSendsQuitThenCloses) {
    TempDir home;
    StandinRun run = startStandin(
        home, {"--pipe-name", uniquePipeName("quit"), "--no-tcp", "--quit-after", "1.5"});
    ASSERT_TRUE(run.ready) << run.process->output();
    RawClient client = openedClient(run.endpoints.pipe);
    EXPECT_TRUE(client.waitClosed(5s));
    const auto messages = client.receive(2, 0ms);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messageId(messages[1]), SIMCONNECT_RECV_ID_QUIT);
    EXPECT_EQ(messages[1].size(), 12u);
    EXPECT_EQ(run.process->waitExit(5s), 0);
}

TEST(StandinProcess, BreakAfterClosesWithoutQuit) {
    TempDir home;
    StandinRun run = startStandin(
        home, {"--pipe-name", uniquePipeName("break"), "--no-tcp", "--break-after", "1.5"});
    ASSERT_TRUE(run.ready) << run.process->output();
    RawClient client = openedClient(run.endpoints.pipe);
    EXPECT_TRUE(client.waitClosed(5s));
    EXPECT_EQ(client.receive(2, 0ms).size(), 1u);  // the OPEN answer only
    EXPECT_EQ(run.process->waitExit(5s), 0);
    StandinLog log(run.logPath);
    EXPECT_TRUE(log.waitForEvent("break", 1s));
}

TEST(StandinProcess, HelpDocumentsTheModelAndBadOptionsFail) {
    TempDir home;
    ChildProcess help(ProcessOptions{{binaryPath("sim-standin"), "--help"}, home.path(), {}, true});
    EXPECT_EQ(help.waitExit(5s), 0);
    for (const char* text :
         {"A32NX_AUTOPILOT_SPEED_SELECTED", "AP_ALT_VAR_INC", "--reject-name", "\"mono_ns\""}) {
        EXPECT_NE(help.output().find(text), std::string::npos) << text;
    }
    ChildProcess bad(
        ProcessOptions{{binaryPath("sim-standin"), "--tcp-port", "http"}, home.path(), {}, true});
    EXPECT_EQ(bad.waitExit(5s), 2);
    EXPECT_NE(bad.output().find("--tcp-port needs a port number"), std::string::npos);
}

TEST(StandinDefaultPipe, ServesTheSimulatorsPipeAlone) {
    TempDir home;
    StandinRun run = startStandin(home, {"--no-tcp"});
    ASSERT_TRUE(run.ready) << run.process->output();
    EXPECT_EQ(run.endpoints.pipe, "\\\\.\\pipe\\Microsoft Flight Simulator\\SimConnect");
    RawClient client = openedClient(run.endpoints.pipe);

    // The pipe is one name for the whole machine: a second stand-in cannot have it.
    TempDir other;
    ChildProcess second(ProcessOptions{
        {binaryPath("sim-standin"), "--no-tcp"}, other.path(), {{"HOME", other.path()}}, true});
    EXPECT_EQ(second.waitExit(5s), 1);
    EXPECT_NE(second.output().find("cannot listen on pipe"), std::string::npos) << second.output();
}

}  // namespace
