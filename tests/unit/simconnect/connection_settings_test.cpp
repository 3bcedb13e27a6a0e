// Settings from configuration files in a temporary HOME and working directory, the
// registry file, and the endpoint plans they make.
#include "connection_settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "simconnect/SimConnect.h"
#include "library_state.h"
#include "testing/loopback_peer.h"
#include "profile_reader.h"
#include "session.h"
#include "testing/process.h"

using namespace std::chrono_literals;

namespace {

const char* kDefaultPipe = "\\\\.\\pipe\\Microsoft Flight Simulator\\SimConnect";

class Settings : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(::setenv("HOME", home.path().c_str(), 1), 0); }
    void UserFile(const std::string& text) { home.write("Documents/SimConnect.cfg", text); }
    void CurrentFile(const std::string& text) { cwd.write("SimConnect.cfg", text); }
    void Registry(const std::string& values) {
        home.write(".config/orvendale/registry.ini",
                   "[SOFTWARE\\Microsoft\\Microsoft Games\\KittyHawk]\n" + values);
    }

    testsupport::TempDir home;
    testsupport::WorkFolder cwd;  // SetUp points HOME at `home` instead
};

std::string Describe(const std::vector<EndpointAttempt>& plan) {
    std::string text;
    for (const EndpointAttempt& a : plan) {
        text += a.transport == TransportType::Pipe ? "pipe " + BuildPipePath(a.address, a.port)
                                 : "tcp" + std::to_string(a.family) + " " + a.address + " " +
                                       (AttemptPort(a).empty() ? "-" : AttemptPort(a));
        text += "; ";
    }
    return text;
}

// The settings of configuration index 0 as "protocol [address] [port] maxReceiveSize nagle".
std::string Loaded() {
    const ConnectionSettings s = LoadConnectionSettings(0);
    return std::to_string(s.protocol) + " [" + s.address + "] [" + s.port + "] " +
           std::to_string(s.maxReceiveSize) + (s.disableNagle ? " no-nagle" : " nagle");
}

}  // namespace

TEST_F(Settings, ConfigurationIndexNeedsASectionWithEntries) {
    CurrentFile("[SimConnect.7]\n; only a comment\n[SimConnect.2]\nProtocol=IPv4\n"
                "[SimConnect.4294967295]\nProtocol=IPv4\nPort=1\n[SimConnect]\nPort=2\n");
    EXPECT_FALSE(ConfigSectionExists(7));
    EXPECT_TRUE(ConfigSectionExists(2));
    EXPECT_EQ(ConfigSectionName(2), "SimConnect.2");
    HANDLE handle = reinterpret_cast<HANDLE>(1);
    EXPECT_EQ(SimConnect_Open(&handle, "x", nullptr, 0, nullptr, 7), E_INVALIDARG);
    EXPECT_EQ(handle, nullptr);
    // The index with all bits set reads no file at all.
    EXPECT_EQ(LoadConnectionSettings(0xFFFFFFFFu).port, "");
    EXPECT_EQ(LoadConnectionSettings(0xFFFFFFFFu).protocol, 1u);
}

TEST_F(Settings, EndpointPlans) {
    EXPECT_EQ(Loaded(), "1 [] [] 41088 nagle");
    const std::string local = std::string("pipe ") + kDefaultPipe + "; ";
    EXPECT_EQ(Describe(BuildEndpointPlan(LoadConnectionSettings(0))),
              local + "tcp23 ::1 -; tcp2 127.0.0.1 -; " + local);
    Registry("SimConnect_Port_IPv6=7001\nSimConnect_Port_IPv4 = 7002\n");
    const std::pair<std::string, std::string> plans[] = {
        {"", local + "tcp23 ::1 7001; tcp2 127.0.0.1 7002; " + local},
        {"Protocol=IPv6\nAddress=::1\nPort=600\n", "tcp23 ::1 600; tcp2 127.0.0.1 7002; " + local},
        {"Protocol=IPv4\nAddress=10.0.0.5\nPort=500\n", "tcp2 10.0.0.5 500; "},
        // A pipe on another machine has no fallback.
        {"Protocol=Pipe\nAddress=SERVER1\n",
         "pipe \\\\SERVER1\\pipe\\Microsoft Flight Simulator\\SimConnect; "},
    };
    for (const auto& [config, plan] : plans) {
        CurrentFile("[SimConnect]\n" + config);
        EXPECT_EQ(Describe(BuildEndpointPlan(LoadConnectionSettings(0))), plan) << config;
    }
    HANDLE handle = nullptr;
    EXPECT_EQ(SimConnect_Open(&handle, "x", nullptr, 0, nullptr, 0), E_FAIL);
    EXPECT_EQ(handle, nullptr);
    // A named pipe's path is cut to 255 characters.
    EXPECT_EQ(BuildPipePath("", std::string(300, 'n')).size(), 255u);
}

TEST_F(Settings, RegistryPortThenALaterFilePort) {
    UserFile("[SimConnect]\nProtocol=IPv4\n");
    Registry("SimConnect_Port_IPv4=500\n");
    EXPECT_EQ(Loaded(), "2 [] [500] 41088 nagle");
    CurrentFile("[SimConnect]\nPort=600\n");
    EXPECT_EQ(Loaded(), "2 [] [600] 41088 nagle");

    // A value that does not fit the 20-byte registry buffer is no port at all.
    Registry(
        "SimConnect_Port_IPv4=12345678901234567890\nSimConnect_Port_IPv6=1234567890123456789\n");
    EXPECT_EQ(ReadRegistryPort(2), "");
    EXPECT_EQ(ReadRegistryPort(23), "1234567890123456789");
}

TEST_F(Settings, MaxReceiveSizeOnlyRises) {
    const auto sizeWith = [&](const std::string& user, const std::string& current) {
        UserFile("[SimConnect]\n" + user);
        CurrentFile("[SimConnect]\n" + current);
        return LoadConnectionSettings(0).maxReceiveSize;
    };
    EXPECT_EQ(sizeWith("", "MaxReceiveSize=1000\n"), 41088u);
    EXPECT_EQ(sizeWith("", "MaxReceiveSize=100000\n"), 100000u);
    EXPECT_EQ(sizeWith("MaxReceiveSize=60000\n", "MaxReceiveSize=50000\n"), 60000u);
    EXPECT_EQ(sizeWith("MaxReceiveSize=50000\n", "MaxReceiveSize=60000\n"), 60000u);
    CurrentFile("[SimConnect]\nMaxReceiveSize=-1\nDisableNagle=7\n");
    EXPECT_EQ(Loaded(), "1 [] [] 4294967295 no-nagle");
    EXPECT_EQ(ParseProfileInt("12abc"), 12);
    EXPECT_EQ(ParseProfileInt("abc"), 0);
    EXPECT_EQ(ParseProfileInt("99999999999"), 2147483647);
}

TEST_F(Settings, ProtocolNamesAndFileSyntax) {
    UserFile("[SimConnect]\nProtocol=IPv6\n");
    CurrentFile("[simconnect]\n  protocol =  pipe  \n");
    EXPECT_EQ(LoadConnectionSettings(0).protocol, 1u);
    CurrentFile("[SimConnect]\nProtocol=TCP\n");
    EXPECT_EQ(LoadConnectionSettings(0).protocol, 23u);
    CurrentFile("\xEF\xBB\xBF[ SimConnect ]\r\nAddress=\"my host\"\r\n;Port=1\r\n");
    EXPECT_EQ(Loaded(), "23 [my host] [] 41088 nagle");
}

// The simulator publishes its ports while it starts; a port published while the pipe is
// busy is found by the fallback that follows.
TEST_F(Settings, RegistryPortIsReadWhenItsStageIsReached) {
    ConnectionSettings settings;
    settings.port = loopback_peer::UniquePipeName("late-port");
    auto pipe = loopback_peer::Listener::Pipe(BuildPipePath("", settings.port), 0);
    auto tcp = loopback_peer::Listener::Tcp(true);
    ASSERT_TRUE(pipe && tcp);
    // A first client that nobody accepts keeps the pipe busy.
    auto* blocker = new ClientClient(TransportType::Pipe);
    ASSERT_EQ(blocker->Connect(0, "", settings.port, 41088, false), 0);

    ClientClient* session = nullptr;
    std::atomic<int> result{-1};
    std::thread opening([&] { result = ConnectThroughPlan(&session, settings); });
    // The plan is made and its pipe attempt waits once its session exists.
    ASSERT_TRUE(testsupport::waitUntil([] { return Library().liveSessions.load() == 2; }, 5000ms));
    Registry("SimConnect_Port_IPv6=" + tcp->Port() + "\n");
    EXPECT_TRUE(testsupport::waitUntil([&] { return result != -1; }, 10000ms));
    opening.join();
    ASSERT_EQ(result.load(), 0);
    EXPECT_EQ(session->Type(), TransportType::Tcp);
    EXPECT_TRUE(tcp->Accept());
    CloseSession(session);
    CloseSession(blocker);
}
