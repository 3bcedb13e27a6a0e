// What the service tells systemd: through NOTIFY_SOCKET, read on a datagram socket of the
// test's own, where it waits for the simulator, that it is ready once connected with its
// racks started (and which of them is not served, and why), and that it stops when the
// simulator quits; and under journald (its output named by JOURNAL_STREAM) each line's
// priority.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "testing/process.h"
#include "testing/pty.h"
#include "testing/service_output.h"
#include "testing/standin_log.h"

namespace {

using namespace std::chrono_literals;
using namespace servicetest;

// A datagram socket bound at a path, as systemd's notification socket is.
class NotifySocket {
public:
    explicit NotifySocket(std::string path) : path_(std::move(path)) {
        fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
        if (bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~NotifySocket() {
        if (fd_ >= 0) close(fd_);
    }
    bool usable() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // The next message, or nothing within `timeout`.
    std::optional<std::string> next(std::chrono::milliseconds timeout) {
        pollfd entry{fd_, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
        char message[4096];
        const ssize_t size = recv(fd_, message, sizeof message, 0);
        if (size < 0) return std::nullopt;
        return std::string(message, static_cast<std::size_t>(size));
    }

private:
    std::string path_;
    int fd_ = -1;
};

TEST(ServiceManager, ToldWhereItWaitsThenReadyThenStopping) {
    testsupport::TempDir standinHome, work, home, sockets;
    NotifySocket manager(sockets.file("notify"));
    ASSERT_TRUE(manager.usable());
    // 127.0.0.2 has no fallback to the default pipe, which another test may serve.
    work.write("SimConnect.cfg", "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.2\nPort=1\n");
    work.write("rack_config.json", "{}");
    testsupport::ProcessOptions options = serviceOptions(work, home);
    options.env.push_back({"NOTIFY_SOCKET", manager.path()});
    testsupport::ChildProcess service(options);

    // Port 1 answers nobody: the service waits there, and says so.
    EXPECT_EQ(manager.next(10s), "STATUS=Waiting for the simulator at TCP 127.0.0.2:1");
    ASSERT_TRUE(service.waitForOutput(kRetry, 10s)) << service.output();
    service.signal(SIGKILL);

    const auto standin = testsupport::startStandin(standinHome, {"--no-pipe", "--listen", "127.0.0.2", "--quit-after", "8"});
    ASSERT_TRUE(standin.ready) << standin.process->output();
    work.write("SimConnect.cfg", "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.2\nPort=" +
                                     std::to_string(standin.endpoints.ipv4) + "\n");
    // A joystick whose first message is broken, and pedals whose board is not there.
    testsupport::Pty joystick;
    work.write("rack_config.json", "{\"" + joystick.slavePath() + "\": \"joystick_rack\", \"ttyUSB97\": \"pedals_rack\"}");
    testsupport::ChildProcess served(options);
    EXPECT_EQ(manager.next(10s), "STATUS=Waiting for the simulator at TCP 127.0.0.2:" +
                                     std::to_string(standin.endpoints.ipv4));
    const std::string racks = "Serving 2 racks: joystick_rack on \\\\.\\" + joystick.slavePath() +
                              ", pedals_rack on \\\\.\\ttyUSB97";
    EXPECT_EQ(manager.next(10s), "READY=1\nSTATUS=" + racks + "; pedals_rack: port \\\\.\\ttyUSB97 not open");
    // The rack drops what came while it waited for the simulator: the message is sent until
    // the rack stops on it.
    std::optional<std::string> stopped;
    for (int attempt = 0; attempt < 50 && !stopped; ++attempt) {
        joystick.send("{\"aileron_position\": oops}");
        stopped = manager.next(200ms);
    }
    ASSERT_TRUE(stopped.has_value()) << served.output();
    EXPECT_EQ(stopped->rfind("STATUS=" + racks + "; joystick_rack: stopped: [json.exception.parse_error", 0), 0u)
        << *stopped;
    EXPECT_EQ(manager.next(15s), "STOPPING=1\nSTATUS=The simulator quit; stopping");
    EXPECT_EQ(served.waitExit(15s), 0) << served.output();
}

// With JOURNAL_STREAM naming its standard output (here: the pipe the test reads), every
// line starts with its syslog priority, so that "journalctl -p warning" finds the errors
// and warnings: the retry's error, a missing board's warning and errors, the rest as info.
TEST(ServiceManager, JournalLinesCarryTheirPriority) {
    testsupport::TempDir standinHome, work, home;
    const auto standin = testsupport::startStandin(standinHome, {"--no-pipe", "--listen", "127.0.0.2", "--quit-after", "4"});
    ASSERT_TRUE(standin.ready) << standin.process->output();
    // The first attempt fails (port 1), then the file names the stand-in.
    work.write("SimConnect.cfg", "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.2\nPort=1\n");
    work.write("rack_config.json", "{\"ttyUSB97\": \"pedals_rack\"}");
    testsupport::ChildProcess service({.args = {"sh", "-c",
                                                "JOURNAL_STREAM=$(stat -L -c %d:%i /proc/$$/fd/1) exec \"$0\"",
                                                testsupport::binaryPath("orvendale-fs")},
                                       .cwd = work.path(),
                                       .env = {{"HOME", home.path()}}});
    ASSERT_TRUE(service.waitForOutput("Retry in 3 secs", 10s)) << service.output();
    work.write("SimConnect.cfg", "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.2\nPort=" +
                                     std::to_string(standin.endpoints.ipv4) + "\n");
    EXPECT_EQ(service.waitExit(20s), 0) << service.output();

    std::istringstream lines(service.output());
    std::vector<std::string> seen;
    for (std::string line; std::getline(lines, line);) {
        ASSERT_TRUE(line.size() >= 3 && line[0] == '<' && line[2] == '>') << "no priority: " << line;
        seen.push_back(line);
    }
    const auto has = [&](const std::string& line) {
        return std::find(seen.begin(), seen.end(), line) != seen.end();
    };
    EXPECT_TRUE(has("<6>18 fc ")) << service.output();
    EXPECT_TRUE(has("<6>Orvendale Projects FS v0.27 "));
    EXPECT_TRUE(has("<3>[ERR] NOT Connected to Flight Simulator! :("));
    EXPECT_TRUE(has("<6>Retry in 3 secs..."));
    EXPECT_TRUE(has("<4>Warning: Handle was not attached. Reason: \\\\.\\ttyUSB97 not available"));
    EXPECT_TRUE(has("<3>[ERR] Rack: pedals_rack NOT Connected on Port: \\\\.\\ttyUSB97"));
    EXPECT_TRUE(has("<6>[OK] Connection Opened !"));
    EXPECT_TRUE(has("<6>[OK] Quit, Bye !!"));
}

}  // namespace
