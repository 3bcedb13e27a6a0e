// Whole runs of rack-emulator on real pseudo-terminals: the test plays the service.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <limits>

#include "tests/support/pty.h"
#include "tests/support/rack_log.h"
#include "tools/rack-emulator/frame_cutter.h"
#include "tools/rack-emulator/rack_layouts.h"

namespace {

using namespace std::chrono_literals;
using rackemu::Bytes;
using rackemu::getInt32;
using testsupport::ChildProcess;
using testsupport::Json;
using testsupport::TempDir;

ChildProcess startEmulator(std::vector<std::string> args) {
    args.insert(args.begin(), testsupport::binaryPath("rack-emulator"));
    return ChildProcess({args});
}

// Opens the device the way the service does: non-blocking, no controlling terminal,
// exclusive, and with whatever was sent before discarded.
int openAsService(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0 && (ioctl(fd, TIOCEXCL) != 0 || tcflush(fd, TCIOFLUSH) != 0)) std::abort();
    return fd;
}

// Frames of one length cut from what a descriptor delivers; the descriptor is closed at
// the end when it was handed over.
class Frames {
public:
    Frames(int fd, std::size_t length, bool owned = true) : fd_(fd), owned_(owned), cutter_(length) {}
    ~Frames() {
        if (owned_ && fd_ >= 0) close(fd_);
    }
    bool write(const Bytes& bytes) const {
        return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    // The next whole frame that matches (any frame when `match` is empty), within 5 s.
    std::optional<Bytes> next(const std::function<bool(const Bytes&)>& match = {}) {
        std::optional<Bytes> found;
        testsupport::waitUntil(
            [&] {
                pollfd entry{fd_, POLLIN, 0};
                std::uint8_t chunk[512];
                const ssize_t count = poll(&entry, 1, 10) > 0 ? read(fd_, chunk, sizeof chunk) : 0;
                for (auto& piece : cutter_.feed(std::span(chunk, std::max<ssize_t>(count, 0))))
                    if (!found && piece.isFrame && (!match || match(piece.bytes)))
                        found = piece.bytes;
                return found.has_value();
            },
            5s, 0ms);
        return found;
    }

private:
    int fd_;
    bool owned_;
    rackemu::FrameCutter cutter_;
};

Bytes fcuFrame(std::initializer_list<std::pair<std::size_t, std::int32_t>> fields) {
    Bytes frame = rackemu::emptyFrame(rackemu::panelOutputLayout(rackemu::RackKind::Fcu));
    for (const auto& [offset, value] : fields) rackemu::putInt32(frame, offset, value);
    return frame;
}

TEST(RackEmulator, PanelsRoundTripThroughLinkedPseudoTerminals) {
    TempDir dir;
    ChildProcess emulator = startEmulator({"--efis", dir.file("efis"), "--fcu", dir.file("fcu"),
                                           "--log", dir.file("log"), "--control", dir.file("ctl")});
    testsupport::RackLog log(dir.file("log"));
    const auto devices = log.waitForDevices(5s);
    EXPECT_EQ(std::filesystem::read_symlink(dir.file("efis")).string(), devices.at("efis"));
    {
        // The exclusive-use mark a closed service leaves would refuse its next open.
        Frames earlier(openAsService(dir.file("efis")), 30);
        ASSERT_TRUE(log.waitForEvent("opened", 2s));
    }
    ASSERT_TRUE(log.waitForEvent("closed", 2s));
    int exclusive = 1;
    const int probe = open(dir.file("efis").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    close(probe);

    // Control lines reach the frames (the whole runs with the service check what they do).
    Frames fcu(openAsService(dir.file("fcu")), 82);
    ASSERT_TRUE(testsupport::sendRackActions(dir.file("ctl"), "turn fcu spd 5"));
    ASSERT_TRUE(fcu.next([](const Bytes& f) { return getInt32(f, 1) == 5; }));

    // The service's frame, after some noise and split in two writes.
    const Bytes frame = fcuFrame({{5, 250}, {13, 180}, {21, 5000}, {29, 700}, {41, 7}, {45, 1}});
    ASSERT_TRUE(fcu.write({'?', '}'}));
    ASSERT_TRUE(fcu.write(Bytes(frame.begin(), frame.begin() + 20)));
    ASSERT_TRUE(fcu.write(Bytes(frame.begin() + 20, frame.end())));
    EXPECT_TRUE(emulator.waitForOutput(
        "fcu: SPD 250  HDG 180  ALT 5000  V/S +700  [LOC] [AP1] [A/THR]\n", 5s));
    // Track mode with managed dots, a hidden heading and the lowest angle a frame can carry.
    const std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
    ASSERT_TRUE(fcu.write(
        fcuFrame({{1, 1}, {5, 140}, {9, 1}, {17, 1}, {21, 900}, {25, 1}, {33, lowest}, {41, 17}})));
    EXPECT_TRUE(emulator.waitForOutput(
        "fcu: SPD 140*  TRK ---*  ALT 900*  FPA -214748364.8  [LOC] [APPR]\n", 5s));
    EXPECT_TRUE(log.waitFor([](const Json& e) { return e.value("garbage", false); }, 0ms));

    emulator.signal(SIGTERM);
    EXPECT_EQ(emulator.waitExit(5s), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir.file("efis"))));
    EXPECT_FALSE(std::filesystem::exists(dir.file("ctl")));
    ASSERT_FALSE(log.entries().empty());
    EXPECT_EQ(log.entries().back()["reason"], "signal");
}

TEST(RackEmulator, HoldsSendsBackWhileNobodyReads) {
    TempDir dir;
    ChildProcess emulator =
        startEmulator({"--efis", dir.file("efis"), "--period", "efis=2", "--log", dir.file("log")});
    ASSERT_TRUE(emulator.waitForOutput("\n", 5s));
    testsupport::RackLog log(dir.file("log"));
    ASSERT_TRUE(log.waitForEvent("backlog", 5s));
    // Counted before the open: the emulator can note the drain before the test looks again.
    const std::size_t beforeOpen = log.size();
    Frames efis(openAsService(dir.file("efis")), 30);
    EXPECT_TRUE(efis.next());
    EXPECT_TRUE(log.waitForEvent("drained", 2s, beforeOpen));
    EXPECT_TRUE(emulator.running());
}

TEST(RackEmulator, AttachesToAnExistingDevice) {
    testsupport::Pty pty;
    ChildProcess emulator = startEmulator({"--efis-device", pty.slavePath(), "--duration", "0.5"});
    ASSERT_TRUE(emulator.waitForOutput("rack-emulator: ready efis=" + pty.slavePath() + "\n", 5s));
    Frames frames(pty.master(), 30, false);
    EXPECT_TRUE(frames.next());
    EXPECT_TRUE(frames.next());
    EXPECT_EQ(emulator.waitExit(5s), 0);
}

TEST(RackEmulator, RefusesBadCommandLinesAndForeignFiles) {
    TempDir dir;
    // No rack, or a period alone, does not make a rack.
    EXPECT_EQ(startEmulator({}).waitExit(5s), 2);
    EXPECT_EQ(startEmulator({"--fcu", "--period", "efis=50"}).waitExit(5s), 2);
    dir.write("script", "1 turn fcu ap1 2\n");
    ChildProcess badScript = startEmulator({"--fcu", "--script", dir.file("script")});
    EXPECT_EQ(badScript.waitExit(5s), 2);
    EXPECT_NE(badScript.output().find("line 1: not a knob: ap1"), std::string::npos);

    // A file that is not a link is never replaced.
    dir.write("efis", "keep");
    EXPECT_EQ(startEmulator({"--efis", dir.file("efis")}).waitExit(5s), 1);
    EXPECT_EQ(dir.read("efis"), "keep");
}

}  // namespace
