// Whole runs of rack-emulator on real pseudo-terminals: the test plays the service.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/process.h"
#include "tests/support/rack_log.h"
#include "tools/rack-emulator/frame_cutter.h"
#include "tools/rack-emulator/rack_layouts.h"

namespace {

using namespace std::chrono_literals;
using rackemu::Bytes;
using testsupport::ChildProcess;
using testsupport::Json;
using testsupport::TempDir;

ChildProcess startEmulator(const std::vector<std::string>& args) {
    testsupport::ProcessOptions options;
    options.args = {testsupport::binaryPath("rack-emulator")};
    options.args.insert(options.args.end(), args.begin(), args.end());
    return ChildProcess(std::move(options));
}

// Opens the device the way the service does: non-blocking, no controlling terminal, and
// with whatever was sent before discarded.
class ServiceSide {
public:
    explicit ServiceSide(const std::string& path)
        : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        if (fd_ < 0) return;
        ioctl(fd_, TIOCEXCL);
        tcflush(fd_, TCIOFLUSH);
    }
    int fd() const { return fd_; }
    ~ServiceSide() {
        if (fd_ >= 0) close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }
    void write(const Bytes& bytes) const {
        ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // The next whole frame of `length` bytes, cut from the stream.
    std::optional<Bytes> frame(std::size_t length, std::chrono::milliseconds timeout) {
        rackemu::FrameCutter& cutter = cutters_.try_emplace(length, length).first->second;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (pending_.empty()) {
            if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
            pollfd entry{fd_, POLLIN, 0};
            if (poll(&entry, 1, 10) <= 0) continue;
            std::uint8_t chunk[512];
            const ssize_t count = read(fd_, chunk, sizeof chunk);
            if (count <= 0) continue;
            for (auto& piece : cutter.feed(std::span(chunk, static_cast<std::size_t>(count)))) {
                if (piece.isFrame) pending_.push_back(std::move(piece.bytes));
            }
        }
        Bytes next = std::move(pending_.front());
        pending_.erase(pending_.begin());
        return next;
    }

    // Reads frames until one satisfies `match`.
    std::optional<Bytes> frameWhere(std::size_t length,
                                    const std::function<bool(const Bytes&)>& match) {
        for (int i = 0; i < 100; ++i) {
            std::optional<Bytes> next = frame(length, 2s);
            if (!next || match(*next)) return next;
        }
        return std::nullopt;
    }

private:
    int fd_;
    std::map<std::size_t, rackemu::FrameCutter> cutters_;
    std::vector<Bytes> pending_;
};

Bytes fcuOutput() {
    Bytes frame = rackemu::emptyFrame(rackemu::panelOutputLayout(rackemu::RackKind::Fcu));
    for (auto [offset, value] :
         {std::pair{5, 250}, {13, 180}, {21, 5000}, {29, 700}, {41, 7}, {45, 1}}) {
        rackemu::putInt32(frame, static_cast<std::size_t>(offset), value);
    }
    return frame;
}

TEST(RackEmulator, PanelsRoundTripThroughLinkedPseudoTerminals) {
    TempDir dir;
    ChildProcess emulator = startEmulator({"--efis", dir.file("efis"), "--fcu", dir.file("fcu"),
                                           "--log", dir.file("log"), "--control", dir.file("ctl")});
    ASSERT_TRUE(emulator.waitForOutput("rack-emulator: ready", 5s));
    ASSERT_TRUE(emulator.waitForOutput("\n", 5s));
    const auto devices = testsupport::parseRackReadyLine(emulator.output());
    EXPECT_EQ(std::filesystem::read_symlink(dir.file("efis")).string(), devices.at("efis"));

    testsupport::RackLog log(dir.file("log"));
    {
        // The exclusive-use mark a closed service leaves would refuse its next open.
        ServiceSide earlier(dir.file("efis"));
        ASSERT_TRUE(log.waitForEvent("opened", 2s));
    }
    ASSERT_TRUE(log.waitForEvent("closed", 2s));
    int exclusive = 1;
    const int probe = open(dir.file("efis").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    close(probe);

    ServiceSide fcu(dir.file("fcu"));
    ASSERT_TRUE(fcu.isOpen());
    ASSERT_TRUE(testsupport::sendRackActions(dir.file("ctl"), "turn fcu spd 5\npress fcu ap1"));
    const auto turned =
        fcu.frameWhere(82, [](const Bytes& f) { return rackemu::getInt32(f, 1) == 5; });
    ASSERT_TRUE(turned);
    EXPECT_EQ(rackemu::getInt32(*turned, 37), 1);
    const auto after = fcu.frame(82, 2s);  // the detents went out once; the button stays
    ASSERT_TRUE(after);
    EXPECT_EQ(rackemu::getInt32(*after, 1), 0);
    EXPECT_EQ(rackemu::getInt32(*after, 37), 1);

    // Lines written together reach the same frame.
    ASSERT_TRUE(testsupport::sendRackActions(dir.file("ctl"), "press fcu 53\npress fcu 57\n"));
    const auto both =
        fcu.frameWhere(82, [](const Bytes& f) { return rackemu::getInt32(f, 53) != 0; });
    ASSERT_TRUE(both);
    EXPECT_EQ(rackemu::getInt32(*both, 57), 1);

    // The service's frame, after some noise and split in two writes.
    const Bytes frame = fcuOutput();
    fcu.write({'?', '}'});
    fcu.write(Bytes(frame.begin(), frame.begin() + 20));
    fcu.write(Bytes(frame.begin() + 20, frame.end()));
    EXPECT_TRUE(emulator.waitForOutput(
        "fcu: SPD 250  HDG 180  ALT 5000  V/S +700  [LOC] [AP1] [A/THR]\n", 5s));
    const auto received = log.waitForReceived(
        "fcu", [](const Json& f) { return f["spd"] == 250; }, 2s);
    ASSERT_TRUE(received);
    EXPECT_TRUE((*received)["fields"]["ap1"]);
    EXPECT_TRUE(log.waitFor([](const Json& e) { return e.value("garbage", false); }, 0ms));
    const auto sent = log.waitForSent(
        "fcu", [](const Json& f) { return f["spd"] == 5; }, 0ms);
    ASSERT_TRUE(sent);
    EXPECT_GT((*sent)["mono_ns"].get<std::int64_t>(), 0);

    emulator.signal(SIGTERM);
    EXPECT_EQ(emulator.waitExit(5s), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir.file("efis"))));
    EXPECT_FALSE(std::filesystem::exists(dir.file("ctl")));
    ASSERT_FALSE(log.entries().empty());
    EXPECT_EQ(log.entries().back()["reason"], "signal");
}

TEST(RackEmulator, TextRacksFollowTheirScriptAtTheirPeriod) {
    TempDir dir;
    dir.write("script",
              "0 set pedals brake_position 12.7\n  unset joystick autopilot_master\n1.0 quit\n");
    ChildProcess emulator =
        startEmulator({"--joystick", "--pedals", "--period", "pedals=50", "--script",
                       dir.file("script"), "--log", dir.file("log")});
    ASSERT_TRUE(emulator.waitForOutput("\n", 5s));
    const auto devices = testsupport::parseRackReadyLine(emulator.output());
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices.at("joystick").rfind("/dev/pts/", 0), 0u);

    EXPECT_EQ(emulator.waitExit(5s), 0);
    testsupport::RackLog log(dir.file("log"));
    const std::vector<Json> pedals = log.frames("pedals", "out");
    const std::vector<Json> joystick = log.frames("joystick", "out");
    ASSERT_GE(pedals.size(), 10u);
    EXPECT_EQ(pedals.front()["text"], R"({"rudder_position":0.0,"brake_position":12.7})");
    EXPECT_EQ(joystick.front()["fields"].size(), 7u);
    EXPECT_FALSE(joystick.front()["fields"].contains("autopilot_master"));
    // Twice as many pedal messages as joystick ones, at a steady 50 ms.
    const double span = pedals.back()["t"].get<double>() - pedals.front()["t"].get<double>();
    EXPECT_NEAR(span / static_cast<double>(pedals.size() - 1), 0.050, 0.015);
    EXPECT_NEAR(static_cast<double>(pedals.size()) / static_cast<double>(joystick.size()), 2.0,
                0.3);
    EXPECT_EQ(log.entries().back()["reason"], "quit");
}

TEST(RackEmulator, HoldsSendsBackWhileNobodyReads) {
    TempDir dir;
    ChildProcess emulator =
        startEmulator({"--efis", dir.file("efis"), "--period", "efis=2", "--log", dir.file("log")});
    ASSERT_TRUE(emulator.waitForOutput("\n", 5s));
    testsupport::RackLog log(dir.file("log"));
    ASSERT_TRUE(log.waitForEvent("backlog", 5s));
    ServiceSide efis(dir.file("efis"));
    ASSERT_TRUE(efis.isOpen());
    const std::size_t opened = log.size();
    EXPECT_TRUE(efis.frame(30, 2s));
    EXPECT_TRUE(log.waitForEvent("drained", 2s, opened));
    EXPECT_TRUE(emulator.running());
}

TEST(RackEmulator, AttachesToAnExistingDevice) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);
    ChildProcess emulator = startEmulator({"--efis-device", slave, "--duration", "0.5"});
    ASSERT_TRUE(emulator.waitForOutput("rack-emulator: ready efis=" + slave + "\n", 5s));
    rackemu::FrameCutter cutter(30);
    std::size_t frames = 0;
    testsupport::waitUntil(
        [&] {
            std::uint8_t chunk[256];
            pollfd entry{master, POLLIN, 0};
            if (poll(&entry, 1, 10) <= 0) return false;
            const ssize_t count = read(master, chunk, sizeof chunk);
            for (const auto& piece : cutter.feed(
                     std::span(chunk, static_cast<std::size_t>(std::max<ssize_t>(count, 0))))) {
                frames += piece.isFrame ? 1 : 0;
            }
            return frames >= 2;
        },
        5s);
    EXPECT_GE(frames, 2u);
    EXPECT_EQ(emulator.waitExit(5s), 0);
    close(master);
}

TEST(RackEmulator, RefusesBadCommandLinesAndForeignFiles) {
    TempDir dir;
    ChildProcess noRack = startEmulator({"--log", dir.file("log")});
    EXPECT_EQ(noRack.waitExit(5s), 2);
    // A period alone does not make a rack.
    ChildProcess periodOnly = startEmulator({"--fcu", "--period", "efis=50"});
    EXPECT_EQ(periodOnly.waitExit(5s), 2);
    dir.write("script", "1 turn fcu ap1 2\n");
    ChildProcess badScript = startEmulator({"--fcu", "--script", dir.file("script")});
    EXPECT_EQ(badScript.waitExit(5s), 2);
    EXPECT_NE(badScript.output().find("line 1: not a knob: ap1"), std::string::npos);

    // A file that is not a link is never replaced.
    dir.write("efis", "keep");
    ChildProcess taken = startEmulator({"--efis", dir.file("efis")});
    EXPECT_EQ(taken.waitExit(5s), 1);
    EXPECT_EQ(dir.read("efis"), "keep");
}

}  // namespace
