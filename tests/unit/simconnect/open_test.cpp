// A separate program opening sessions the way an application does: through the endpoint
// plan, from its own working directory and HOME.
#include <gtest/gtest.h>

#include "simconnect/connection_settings.h"
#include "simconnect/peer/loopback_peer.h"
#include "tests/support/process.h"
#include "tests/support/request_bytes.h"

using loopback_peer::Bytes;
using loopback_peer::U32At;
using namespace std::chrono_literals;

namespace {

const Bytes kEvent = wirebytes::words({36, 5, 0xF0000005, 2, 0, 7, 0, 1, 16});

struct Probe {
    testsupport::TempDir home;
    testsupport::TempDir cwd;

    testsupport::ChildProcess Start() {
        return testsupport::ChildProcess(
            {.args = {testsupport::binaryPath("simconnect_open_probe")},
             .cwd = cwd.path(),
             .env = {{"HOME", home.path()}}});
    }
};

// The peer's view of one probe run: its OPEN request, then its client event, then the end.
void ExpectProbeSession(loopback_peer::Listener& listener, testsupport::ChildProcess& probe) {
    auto peer = listener.Accept();
    ASSERT_TRUE(peer) << probe.output();
    const Bytes open = peer->ReadMessage();
    ASSERT_EQ(open.size(), 296u);
    EXPECT_EQ(U32At(open, 8), 0xF0000001u);
    EXPECT_EQ(peer->ReadMessage(), kEvent);
    EXPECT_TRUE(peer->WaitClosed());
    EXPECT_EQ(probe.waitExit(5000ms), 0) << probe.output();
}

}  // namespace

TEST(Open, TcpWhenTheWorkingDirectoryConfigurationSaysSo) {
    auto listener = loopback_peer::Listener::Tcp();
    ASSERT_TRUE(listener);
    Probe probe;
    probe.cwd.write("SimConnect.cfg", "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" +
                                          listener->Port() + "\nDisableNagle=1\n");
    auto child = probe.Start();
    ExpectProbeSession(*listener, child);
}

TEST(Open, DefaultPipeAbsentAndNoPortsRegisteredFailsTheOpen) {
    Probe probe;
    auto child = probe.Start();
    EXPECT_EQ(child.waitExit(5000ms), 1);
    EXPECT_NE(child.output().find("open 0x80004005"), std::string::npos) << child.output();
}

TEST(Open, DefaultPipeWithoutAnyConfiguration) {
    auto listener = loopback_peer::Listener::Pipe(BuildPipePath("", ""));
    ASSERT_TRUE(listener) << "the default pipe is taken by another program";
    Probe probe;
    auto child = probe.Start();
    ExpectProbeSession(*listener, child);
}

TEST(Open, DefaultPipeAbsentFallsBackToTheRegisteredIPv6Port) {
    auto listener = loopback_peer::Listener::Tcp(true);
    ASSERT_TRUE(listener);
    Probe probe;
    probe.home.write(".config/orvendale/registry.ini",
                     "[SOFTWARE\\Microsoft\\Microsoft Games\\KittyHawk]\nSimConnect_Port_IPv6=" +
                         listener->Port() + "\n");
    auto child = probe.Start();
    ExpectProbeSession(*listener, child);
}
