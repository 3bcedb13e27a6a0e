#include "serial/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "tests/support/process.h"

namespace {

using namespace std::chrono_literals;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using Clock = std::chrono::steady_clock;

// A pseudo-terminal whose slave side nobody has opened: the port under test opens it as
// it would open a rack's device.
class Pty {
public:
    Pty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) std::abort();
        slave_ = ptsname(master_);
    }
    ~Pty() { hangUp(); }
    // The rack's end goes away, as when a board is unplugged.
    void hangUp() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }
    int master() const { return master_; }
    // The path as the rack configuration would give it.
    std::string portPath() const { return "\\\\.\\" + slave_; }
    const std::string& slavePath() const { return slave_; }

    void send(const std::string& bytes) const {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Drops what the slave echoed while it was still in its default mode.
    void drain() const {
        char chunk[256];
        while (::read(master_, chunk, sizeof chunk) > 0) {
        }
    }
    // Reads from the master until `count` bytes came or a second passed.
    std::string receive(std::size_t count) const {
        std::string got;
        testsupport::waitUntil(
            [&] {
                char chunk[256];
                const ssize_t n = ::read(master_, chunk, sizeof chunk);
                if (n > 0) got.append(chunk, static_cast<std::size_t>(n));
                return got.size() >= count;
            },
            1s, 1ms);
        return got;
    }

private:
    int master_ = -1;
    std::string slave_;
};

// Every SerialPort reads syntax_config.txt from the working directory, so the tests of
// this program run in a folder of their own.
class SerialPortTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new testsupport::TempDir;
        ASSERT_EQ(chdir(dir_->path().c_str()), 0);
    }
    static void TearDownTestSuite() {
        if (chdir("/") != 0) std::abort();
        delete dir_;
    }

    std::unique_ptr<SerialPort> openPort(const std::string& path, std::string* printed = nullptr) {
        CaptureStdout();
        auto port = std::make_unique<SerialPort>(path.c_str(), 115200, "json");
        const std::string out = GetCapturedStdout();
        if (printed != nullptr) *printed = out;
        return port;
    }

    static testsupport::TempDir* dir_;
};

testsupport::TempDir* SerialPortTest::dir_ = nullptr;

std::chrono::milliseconds since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

TEST_F(SerialPortTest, MissingDeviceWarnsWithTheFullPathAndIdles) {
    std::string printed;
    const std::string path = "\\\\.\\COM" + std::to_string(900 + getpid() % 90);
    auto port = openPort(path, &printed);
    EXPECT_EQ(printed, "Warning: Handle was not attached. Reason: " + path + " not available\n");
    EXPECT_FALSE(port->isConnected());

    char byte = 0;
    std::uint32_t got = 7;
    auto start = Clock::now();
    EXPECT_FALSE(port->readBytes(&byte, 1, got));
    EXPECT_GE(since(start), 1000ms);
    EXPECT_EQ(got, 0u);
    start = Clock::now();
    EXPECT_FALSE(port->writeBytes("{}", 2));
    EXPECT_GE(since(start), 1000ms);
    port->close();
    port->close();
    EXPECT_FALSE(port->isConnected());
}

TEST_F(SerialPortTest, OpensRawDiscardsEarlierBytesAndTransfersUntranslated) {
    Pty pty;
    pty.send("sent before the port opened\n");
    std::string printed;
    auto port = openPort(pty.portPath(), &printed);
    EXPECT_EQ(printed, "");
    ASSERT_TRUE(port->isConnected());
    EXPECT_EQ(port->delimiterSetName(), "json");
    EXPECT_EQ(port->startDelimiter(), '{');
    EXPECT_EQ(port->endDelimiter(), '}');
    EXPECT_EQ(dir_->read("syntax_config.txt"), "json { }\ngreater_less_than < >\n");

    termios line{};
    ASSERT_EQ(tcgetattr(pty.master(), &line), 0);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(line.c_iflag & (ICRNL | INLCR | IGNCR), 0u);
    EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B115200));

    char buffer[64];
    std::uint32_t got = 99;
    const auto start = Clock::now();
    EXPECT_TRUE(port->readBytes(buffer, sizeof buffer, got));
    const auto waited = Clock::now() - start;
    EXPECT_EQ(got, 0u);
    EXPECT_GE(waited, 1ms);
    EXPECT_LT(waited, 50ms);

    // Line ends and the flow-control bytes pass untouched; a read takes what has arrived.
    const std::string frame = "{\r\n\x11\x13\x7f}";
    pty.send(frame);
    EXPECT_TRUE(testsupport::waitUntil(
        [&] {
            port->refreshStatus();
            return port->lineStatus().cbInQue == frame.size();
        },
        2s));
    EXPECT_TRUE(port->readBytes(buffer, sizeof buffer, got));
    EXPECT_EQ(std::string(buffer, got), frame);

    pty.drain();
    std::string reply(50, '\n');
    reply.front() = '{';
    reply.back() = '}';
    EXPECT_TRUE(port->writeBytes(reply.data(), static_cast<std::uint32_t>(reply.size())));
    EXPECT_EQ(pty.receive(reply.size()), reply);
}

TEST_F(SerialPortTest, ReadOnAHungUpLineFailsAtOnce) {
    Pty pty;
    auto port = openPort(pty.portPath());
    ASSERT_TRUE(port->isConnected());
    pty.hangUp();
    char buffer[30];
    std::uint32_t got = 99;
    const auto start = Clock::now();
    EXPECT_FALSE(port->readBytes(buffer, sizeof buffer, got));
    EXPECT_EQ(got, 0u);
    // Failing fast lets the rack handler take its one-second pause instead of spinning.
    EXPECT_LT(since(start), 50ms);
}

TEST_F(SerialPortTest, KeepsHardwareFlowControlAndDropsSoftwareFlowControl) {
    Pty pty;
    termios line{};
    ASSERT_EQ(tcgetattr(pty.master(), &line), 0);
    line.c_cflag |= CRTSCTS;
    line.c_iflag |= IXON | IXOFF;
    ASSERT_EQ(tcsetattr(pty.master(), TCSANOW, &line), 0);
    auto port = openPort(pty.portPath());
    ASSERT_TRUE(port->isConnected());
    ASSERT_EQ(tcgetattr(pty.master(), &line), 0);
    EXPECT_EQ(line.c_cflag & CRTSCTS, static_cast<tcflag_t>(CRTSCTS));
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF | IXANY), 0u);
}

TEST_F(SerialPortTest, DeviceHeldByAnotherProcessIsRefusedSilently) {
    Pty pty;
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int held = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
        const char ok = held >= 0 && flock(held, LOCK_EX | LOCK_NB) == 0 ? 1 : 0;
        if (::write(ready[1], &ok, 1) != 1) _exit(2);
        char done = 0;
        if (::read(release[0], &done, 1) < 0) _exit(3);
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 1);

    std::string printed;
    auto port = openPort(pty.portPath(), &printed);
    EXPECT_EQ(printed, "");
    EXPECT_FALSE(port->isConnected());

    ASSERT_EQ(::write(release[1], &ok, 1), 1);
    int status = 0;
    waitpid(child, &status, 0);
    for (int descriptor : {ready[0], ready[1], release[0], release[1]}) ::close(descriptor);
    // Once the other program has let go, the device can be had, and closed once.
    auto again = openPort(pty.portPath());
    EXPECT_TRUE(again->isConnected());
    again->close();
    EXPECT_FALSE(again->isConnected());
    again->close();
    EXPECT_TRUE(openPort(pty.portPath())->isConnected());
}

TEST_F(SerialPortTest, ConfigurationFailureClosesTheDeviceAtOnce) {
    testsupport::TempDir dir;
    dir.write("not-a-terminal", "");
    std::string printed;
    auto port = openPort("\\\\.\\" + dir.file("not-a-terminal"), &printed);
    EXPECT_EQ(printed, "Warning: Failed to get current serial params");
    EXPECT_FALSE(port->isConnected());
    // Had the descriptor stayed open, its lock would refuse this one.
    const int probe = ::open(dir.file("not-a-terminal").c_str(), O_RDWR);
    ASSERT_GE(probe, 0);
    EXPECT_EQ(flock(probe, LOCK_EX | LOCK_NB), 0);
    ::close(probe);
}

}  // namespace
