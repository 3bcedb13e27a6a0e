#include "serial/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "testing/pty.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testsupport::Pty;

std::chrono::milliseconds since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

// Whether this process could lock the file: the port holds an exclusive lock while open.
bool lockable(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    const bool free = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0) ::close(fd);
    return free;
}

// Every SerialPort reads syntax_config.txt from the working directory, so each test runs
// in a folder of its own.
class SerialPortTest : public testing::Test {
protected:
    std::unique_ptr<SerialPort> openPort(const std::string& path, std::string* printed = nullptr) {
        testing::internal::CaptureStdout();
        auto port = std::make_unique<SerialPort>(path.c_str(), 115200, "json");
        const std::string out = testing::internal::GetCapturedStdout();
        if (printed != nullptr) *printed = out;
        return port;
    }

    testsupport::WorkFolder dir_;
    Pty pty;
};

// The warning and the read's one-second pause are checked on a whole run (RackConfiguration).
TEST_F(SerialPortTest, MissingDeviceIdlesASecondPerWriteAndClosesTwice) {
    auto port = openPort("\\\\.\\COM" + std::to_string(900 + getpid() % 90));
    EXPECT_FALSE(port->isConnected());
    EXPECT_EQ(port->openFailure(), std::strerror(ENOENT));
    const auto start = Clock::now();
    EXPECT_FALSE(port->writeBytes("{}", 2));
    EXPECT_GE(since(start), 1000ms);
    port->close();
    port->close();
    EXPECT_FALSE(port->isConnected());
}

// Raw 8N1 at the rate asked; hardware flow control stays, software flow control goes.
TEST_F(SerialPortTest, OpensRawDiscardsEarlierBytesAndTransfersUntranslated) {
    ASSERT_TRUE(pty.send("sent before the port opened\n"));
    termios line{};
    ASSERT_EQ(tcgetattr(pty.master(), &line), 0);
    line.c_cflag |= CRTSCTS;
    ASSERT_EQ(tcsetattr(pty.master(), TCSANOW, &line), 0);
    std::string printed;
    auto port = openPort(pty.portPath(), &printed);
    EXPECT_EQ(printed, "");
    ASSERT_TRUE(port->isConnected());
    EXPECT_EQ(port->delimiterSetName() + port->startDelimiter() + port->endDelimiter(), "json{}");

    ASSERT_EQ(tcgetattr(pty.master(), &line), 0);
    EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8 | CRTSCTS));
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B115200));

    // Nothing waits: the read returns nothing after its millisecond. A loaded machine may
    // hold any one read up, so the fastest of five is held to the bound; a read that waits
    // for its bytes is slow every time.
    char buffer[64];
    std::uint32_t got = 99;
    auto fastest = std::chrono::milliseconds::max();
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        EXPECT_TRUE(port->readBytes(buffer, sizeof buffer, got));
        EXPECT_EQ(got, 0u);
        EXPECT_GE(Clock::now() - start, 1ms);
        fastest = std::min(fastest, since(start));
    }
    EXPECT_LT(fastest, 50ms);

    // Line ends, the flow-control and erase bytes pass untouched; a read takes what has arrived.
    const std::string frame = "{\r\n\x11\x13\x7f}";
    ASSERT_TRUE(pty.send(frame));
    EXPECT_TRUE(testsupport::waitUntil(
        [&] {
            port->refreshStatus();
            return port->lineStatus().cbInQue == frame.size();
        },
        2s));
    EXPECT_TRUE(port->readBytes(buffer, sizeof buffer, got));
    EXPECT_EQ(std::string(buffer, got), frame);

    pty.drain();
    const std::string reply = "{" + std::string(48, '\n') + "}";
    EXPECT_TRUE(port->writeBytes(reply.data(), static_cast<std::uint32_t>(reply.size())));
    EXPECT_EQ(pty.receive(reply.size()), reply);
}

// A board unplugged and plugged back: its line hangs up, the port closes at the failed
// read (or write), and its path, a link that is removed and made again for the new device,
// opens again; until then each attempt fails quietly.
TEST_F(SerialPortTest, AGoneDeviceClosesAndItsPathOpensAgain) {
    for (const bool reading : {true, false}) {
        auto unplugged = std::make_unique<Pty>();
        const std::string link = dir_.file(reading ? "board-r" : "board-w");
        ASSERT_EQ(symlink(unplugged->slavePath().c_str(), link.c_str()), 0);
        auto port = openPort("\\\\.\\" + link);
        ASSERT_TRUE(port->isConnected());
        unplugged->hangUp();
        std::remove(link.c_str());
        char buffer[30];
        std::uint32_t got = 99;
        const auto start = Clock::now();
        EXPECT_FALSE(reading ? port->readBytes(buffer, sizeof buffer, got)
                             : port->writeBytes("{}", 2));
        // Failing fast lets the rack handler take its one-second pause instead of spinning:
        // far less than that pause, whatever the machine's load.
        EXPECT_LT(since(start), 500ms);
        EXPECT_FALSE(port->isConnected());

        testing::internal::CaptureStdout();
        EXPECT_FALSE(port->reopen());
        Pty replugged;
        ASSERT_EQ(symlink(replugged.slavePath().c_str(), link.c_str()), 0);
        EXPECT_TRUE(port->reopen());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        ASSERT_TRUE(replugged.send("{9}"));
        EXPECT_TRUE(testsupport::waitUntil(
            [&] {
                port->refreshStatus();
                return port->lineStatus().cbInQue == 3;
            },
            2s));
        EXPECT_TRUE(port->readBytes(buffer, sizeof buffer, got));
        EXPECT_EQ(std::string(buffer, got), "{9}");
    }
}

TEST_F(SerialPortTest, DeviceHeldByAnotherProcessIsRefusedSilently) {
    // flock(1) holds the device's lock until it is killed (its command does not hold it).
    testsupport::ChildProcess holder({{"/usr/bin/flock", "-x", "-o", pty.slavePath(), "/bin/sleep", "60"}});
    ASSERT_TRUE(testsupport::waitUntil([&] { return !lockable(pty.slavePath()); }, 5s));
    std::string printed;
    const auto refused = openPort(pty.portPath(), &printed);
    EXPECT_FALSE(refused->isConnected());
    EXPECT_EQ(printed, "");
    // What the rack handler prints after its line: the system's words for a busy device.
    EXPECT_EQ(refused->openFailure(), std::strerror(EBUSY));

    // Once the other program has let go, the device can be had, and closed once.
    holder.signal(SIGKILL);
    ASSERT_TRUE(holder.waitExit(5s));
    auto again = openPort(pty.portPath());
    EXPECT_TRUE(again->isConnected());
    EXPECT_FALSE(lockable(pty.slavePath()));
    again->close();
    EXPECT_FALSE(again->isConnected());
    again->close();
    EXPECT_TRUE(lockable(pty.slavePath()));
}

TEST_F(SerialPortTest, ConfigurationFailureClosesTheDeviceAtOnce) {
    dir_.write("not-a-terminal", "");
    std::string printed;
    auto port = openPort("\\\\.\\" + dir_.file("not-a-terminal"), &printed);
    EXPECT_EQ(printed, "Warning: Failed to get current serial params");
    EXPECT_FALSE(port->isConnected());
    // Had the descriptor stayed open, its lock would refuse this one.
    EXPECT_TRUE(lockable(dir_.file("not-a-terminal")));
}

}  // namespace
