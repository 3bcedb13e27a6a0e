// Whole runs of rack-emulator on real pseudo-terminals: the test plays the service.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <limits>

#include "testing/pty.h"
#include "testing/rack_log.h"
#include "rack-emulator/frame_cutter.h"
#include "rack-emulator/rack_layouts.h"

namespace {

using namespace std::chrono_literals;
using rackemu::Bytes;
using testsupport::ChildProcess;
using testsupport::Json;
using testsupport::TempDir;

ChildProcess startEmulator(std::vector<std::string> args) {
    args.insert(args.begin(), testsupport::binaryPath("rack-emulator"));
    return ChildProcess({args});
}

// The device opened the way the service does: non-blocking, no controlling terminal,
// exclusive, and with whatever was sent before discarded.
struct ServiceEnd {
    explicit ServiceEnd(const std::string& path) : fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        if (fd >= 0 && (ioctl(fd, TIOCEXCL) != 0 || tcflush(fd, TCIOFLUSH) != 0)) std::abort();
    }
    ~ServiceEnd() { close(fd); }
    bool write(const Bytes& bytes) const {
        return ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    int fd;
};

// Whether a whole frame of `length` bytes arrives on `fd` within 5 s.
bool frameArrives(int fd, std::size_t length) {
    rackemu::FrameCutter cutter(length);
    return testsupport::waitUntil(
        [&] {
            pollfd entry{fd, POLLIN, 0};
            std::uint8_t chunk[512];
            const ssize_t count = poll(&entry, 1, 10) > 0 ? read(fd, chunk, sizeof chunk) : 0;
            const auto pieces = cutter.feed(std::span(chunk, std::max<ssize_t>(count, 0)));
            return std::any_of(pieces.begin(), pieces.end(), [](const auto& p) { return p.isFrame; });
        },
        5s, 0ms);
}

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
    ASSERT_FALSE(log.waitForDevices(5s).empty());
    {
        // The exclusive-use mark a closed service leaves would refuse its next open.
        ServiceEnd earlier(dir.file("efis"));
        ASSERT_TRUE(log.waitForEvent("opened", 2s));
    }
    ASSERT_TRUE(log.waitForEvent("closed", 2s));
    int exclusive = 1;
    const int probe = open(dir.file("efis").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    close(probe);

    // The service's frame after some noise, split in two writes: track mode with managed
    // dots, a hidden heading and the lowest angle a frame can carry.
    ServiceEnd fcu(dir.file("fcu"));
    const Bytes frame = fcuFrame({{1, 1}, {5, 140}, {9, 1}, {17, 1}, {21, 900}, {25, 1},
                                  {33, std::numeric_limits<std::int32_t>::min()}, {41, 17}});
    ASSERT_TRUE(fcu.write({'?', '}'}));
    ASSERT_TRUE(fcu.write(Bytes(frame.begin(), frame.begin() + 20)));
    ASSERT_TRUE(fcu.write(Bytes(frame.begin() + 20, frame.end())));
    EXPECT_TRUE(emulator.waitForOutput(
        "fcu: SPD 140*  TRK ---*  ALT 900*  FPA -214748364.8  [LOC] [APPR]\n", 5s));
    EXPECT_TRUE(log.waitFor([](const Json& e) { return e.value("garbage", false); }, 0ms));

    emulator.signal(SIGTERM);
    EXPECT_EQ(emulator.waitExit(5s), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir.file("efis"))));
    EXPECT_FALSE(std::filesystem::exists(dir.file("ctl")));
    EXPECT_EQ(log.entries().back().value("reason", ""), "signal");
}

TEST(RackEmulator, HoldsSendsBackWhileNobodyReads) {
    TempDir dir;
    ChildProcess emulator =
        startEmulator({"--efis", dir.file("efis"), "--period", "efis=2", "--log", dir.file("log")});
    testsupport::RackLog log(dir.file("log"));
    ASSERT_TRUE(log.waitForEvent("backlog", 5s));
    // Counted before the open: the emulator can note the drain before the test looks again.
    const std::size_t beforeOpen = log.size();
    ServiceEnd efis(dir.file("efis"));
    EXPECT_TRUE(frameArrives(efis.fd, 30));
    EXPECT_TRUE(log.waitForEvent("drained", 2s, beforeOpen));
}

TEST(RackEmulator, AttachesToAnExistingDevice) {
    testsupport::Pty pty;
    ChildProcess emulator = startEmulator({"--efis-device", pty.slavePath(), "--duration", "0.5"});
    ASSERT_TRUE(emulator.waitForOutput("rack-emulator: ready efis=" + pty.slavePath() + "\n", 5s));
    EXPECT_TRUE(frameArrives(pty.master(), 30));
    EXPECT_EQ(emulator.waitExit(5s), 0);
}

TEST(RackEmulator, RefusesBadScriptsAndForeignFiles) {
    TempDir dir;
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
