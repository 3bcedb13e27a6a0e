// Serial devices on POSIX: a COM path names a terminal device, exclusive use is an flock
// plus TIOCEXCL, the line settings are termios, and reads and writes wait with poll.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "serial_port_os.h"

namespace serial_os {

namespace {

using Clock = std::chrono::steady_clock;

// A read returns once every asked byte is there or this long after it began.
constexpr auto kReadWindow = std::chrono::milliseconds(1);
// A write that makes no headway for this long has met a device that stopped draining; it
// fails rather than holding the rack's thread (and the shutdown that joins it) for ever.
constexpr auto kWriteStall = std::chrono::milliseconds(1000);

int fd(std::intptr_t device) {
    return static_cast<int>(device);
}

// "\\.\COM3" names /dev/COM3; a name that carries a folder, such as "\\.\/dev/pts/4",
// is used as it stands.
std::string devicePath(const std::string& portPath) {
    const std::string prefix = "\\\\.\\";
    std::string name =
        portPath.compare(0, prefix.size(), prefix) == 0 ? portPath.substr(prefix.size()) : portPath;
    if (name.find('/') == std::string::npos) name = "/dev/" + name;
    return name;
}

bool speedFor(std::int32_t baudRate, speed_t& speed) {
    static const struct {
        std::int32_t rate;
        speed_t speed;
    } table[] = {{1200, B1200},     {2400, B2400},     {4800, B4800},    {9600, B9600},
                 {19200, B19200},   {38400, B38400},   {57600, B57600},  {115200, B115200},
                 {230400, B230400}, {460800, B460800}, {921600, B921600}};
    for (const auto& entry : table) {
        if (entry.rate != baudRate) continue;
        speed = entry.speed;
        return true;
    }
    return false;
}

// Byte-transparent raw mode, 8N1. Hardware flow control (CRTSCTS) is left as the driver
// reported it, as another program may have chosen it. Software flow control is not: Linux
// turns IXON on for every new terminal, and it would swallow the bytes 0x11 and 0x13 that
// the panels' binary frames carry.
void makeRaw(termios& settings) {
    settings.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                               ICRNL | INPCK | IXON | IXOFF | IXANY);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
    settings.c_cflag |= CS8 | CREAD | CLOCAL;
    // With VMIN 1 a read on the non-blocking descriptor reports "nothing yet" as EAGAIN,
    // which keeps a read of 0 bytes for the one case it means: the line hung up.
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
}

// Waits for `events` until `deadline`, with sub-millisecond precision. Returns false when
// the time ran out.
bool waitFor(int descriptor, short events, Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return false;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timespec timeout{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    pollfd entry{descriptor, events, 0};
    return ppoll(&entry, 1, &timeout, nullptr) > 0;
}

bool transient(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

// The errors of a device that is no longer there: a USB adapter unplugged, the other end
// of a pseudo-terminal closed.
bool gone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

}  // namespace

OpenOutcome open(const std::string& portPath, std::intptr_t& device) {
    device = kInvalid;
    const int descriptor =
        ::open(devicePath(portPath).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return errno == ENOENT ? OpenOutcome::notFound : OpenOutcome::refused;
    // The flock is what turns away a second user: TIOCEXCL alone does not bind root.
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        ::close(descriptor);
        // Another program holds the device: said as the system says a busy device.
        errno = EBUSY;
        return OpenOutcome::refused;
    }
    ioctl(descriptor, TIOCEXCL);
    device = descriptor;
    return OpenOutcome::opened;
}

ConfigureOutcome configure(std::intptr_t device, std::int32_t baudRate) {
    termios settings{};
    if (tcgetattr(fd(device), &settings) != 0) return ConfigureOutcome::readSettingsFailed;
    makeRaw(settings);
    speed_t speed = B0;
    if (!speedFor(baudRate, speed) || cfsetispeed(&settings, speed) != 0 ||
        cfsetospeed(&settings, speed) != 0 || tcsetattr(fd(device), TCSANOW, &settings) != 0)
        return ConfigureOutcome::applySettingsFailed;
    // Pseudo-terminals have no modem lines, so a refused DTR is no reason to give up.
    int dtr = TIOCM_DTR;
    ioctl(fd(device), TIOCMBIS, &dtr);
    return ConfigureOutcome::done;
}

void purge(std::intptr_t device) {
    tcflush(fd(device), TCIOFLUSH);
}

IoOutcome queryStatus(std::intptr_t device, SerialLineStatus& status) {
    int waiting = 0;
    const bool done = ioctl(fd(device), FIONREAD, &waiting) == 0;
    status.cbInQue = done ? static_cast<std::uint32_t>(waiting) : 0;
    if (done) return IoOutcome::done;
    return gone(errno) ? IoOutcome::gone : IoOutcome::failed;
}

IoOutcome read(std::intptr_t device, void* buffer, std::uint32_t count,
               std::uint32_t& transferred) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    const auto deadline = Clock::now() + kReadWindow;
    transferred = 0;
    while (transferred < count) {
        const ssize_t n = ::read(fd(device), bytes + transferred, count - transferred);
        if (n > 0) {
            transferred += static_cast<std::uint32_t>(n);
            continue;
        }
        // A hung-up line (the rack's far end went away) reads as end of file at once, and
        // poll reports it ready at once: waiting out the window would only spin. What came
        // before the hang-up is taken first.
        if (n == 0) return transferred > 0 ? IoOutcome::done : IoOutcome::gone;
        if (n < 0 && gone(errno)) return transferred > 0 ? IoOutcome::done : IoOutcome::gone;
        if (n < 0 && !transient(errno)) return IoOutcome::failed;
        if (!waitFor(fd(device), POLLIN, deadline) && Clock::now() >= deadline) break;
    }
    return IoOutcome::done;
}

IoOutcome write(std::intptr_t device, const void* buffer, std::uint32_t count) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::uint32_t written = 0;
    auto deadline = Clock::now() + kWriteStall;
    while (written < count) {
        const ssize_t n = ::write(fd(device), bytes + written, count - written);
        if (n > 0) {
            written += static_cast<std::uint32_t>(n);
            deadline = Clock::now() + kWriteStall;
            continue;
        }
        if (n < 0 && gone(errno)) return IoOutcome::gone;
        if (n < 0 && !transient(errno)) return IoOutcome::failed;
        if (!waitFor(fd(device), POLLOUT, deadline) && Clock::now() >= deadline)
            return IoOutcome::failed;
    }
    return IoOutcome::done;
}

void waitForInput(std::intptr_t device, Clock::time_point deadline) {
    waitFor(fd(device), POLLIN, deadline);
}

void close(std::intptr_t device) {
    if (device == kInvalid) return;
    // Exclusive mode outlives the descriptor on a pseudo-terminal; leave the device as
    // another program expects to find it.
    ioctl(fd(device), TIOCNXCL);
    ::close(fd(device));
}

std::string lastErrorText() {
    const int error = errno;
    char buffer[256];
    std::string text = strerror_r(error, buffer, sizeof buffer);
    // Serial devices belong to the group dialout; a user outside it may not open them.
    if (error == EACCES)
        text +=
            " (the user running the service must be in the group dialout: "
            "sudo usermod -aG dialout USER, then log in again)";
    return text;
}

}  // namespace serial_os
