// A separate program opening a session the way an application does: through the endpoint
// plan, from its own working directory and HOME. The service's whole runs open on the
// default pipe and on TCP from a SimConnect.cfg, and retry when nothing answers; here the
// plan falls back to the IPv6 port the simulator registered.
#include <gtest/gtest.h>

#include "tests/support/loopback_peer.h"
#include "tests/support/process.h"
#include "tests/support/request_bytes.h"

using namespace std::chrono_literals;

TEST(Open, DefaultPipeAbsentFallsBackToTheRegisteredIPv6Port) {
    auto listener = loopback_peer::Listener::Tcp(true);
    ASSERT_TRUE(listener);
    testsupport::TempDir home;
    home.write(".config/orvendale/registry.ini",
               "[SOFTWARE\\Microsoft\\Microsoft Games\\KittyHawk]\nSimConnect_Port_IPv6=" +
                   listener->Port() + "\n");
    testsupport::ChildProcess probe({.args = {testsupport::binaryPath("simconnect_open_probe")},
                                     .cwd = home.path(), .env = {{"HOME", home.path()}}});
    // Its OPEN request, then its client event, then the end.
    auto peer = listener->Accept();
    ASSERT_TRUE(peer) << probe.output();
    const loopback_peer::Bytes open = peer->ReadMessage();
    ASSERT_EQ(open.size(), 296u);
    EXPECT_EQ(loopback_peer::U32At(open, 8), 0xF0000001u);
    EXPECT_EQ(peer->ReadMessage(), wirebytes::words({36, 5, 0xF0000005, 2, 0, 7, 0, 1, 16}));
    EXPECT_TRUE(peer->WaitClosed());
    EXPECT_EQ(probe.waitExit(5000ms), 0) << probe.output();
}
