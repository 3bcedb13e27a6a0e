#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "rack-emulator/rack_device.h"
#include "rack-emulator/system_failure.h"

namespace rackemu {

namespace {

// Byte-transparent, like the racks' own lines: no echo, no line editing, no translation.
void makeRaw(int fd, const std::string& path) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) failWithErrno("cannot read the line settings of " + path);
    cfmakeraw(&settings);
    cfsetispeed(&settings, B115200);
    cfsetospeed(&settings, B115200);
    if (tcsetattr(fd, TCSANOW, &settings) != 0) failWithErrno("cannot make " + path + " raw");
}

void makeLink(const std::string& linkPath, const std::string& target) {
    struct stat info {};
    if (lstat(linkPath.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            throw std::runtime_error(linkPath + " exists and is not a symbolic link");
        }
        // An old link, for instance left by a run that was killed.
        if (unlink(linkPath.c_str()) != 0) failWithErrno("cannot replace " + linkPath);
    }
    if (symlink(target.c_str(), linkPath.c_str()) != 0)
        failWithErrno("cannot create the link " + linkPath);
}

// Removes the link only while it still leads to this device, so that a newer run that took
// the same path over keeps its link.
void removeLink(const std::string& linkPath, const std::string& target) {
    char buffer[4096];
    const ssize_t length = readlink(linkPath.c_str(), buffer, sizeof buffer);
    if (length < 0 || std::string(buffer, static_cast<std::size_t>(length)) != target) return;
    unlink(linkPath.c_str());
}

bool waitWritable(int fd, std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd entry{fd, POLLOUT, 0};
    return poll(&entry, 1, static_cast<int>(left.count())) > 0 && (entry.revents & POLLOUT) != 0;
}

}  // namespace

std::unique_ptr<RackDevice> RackDevice::createPseudoTerminal(const std::string& linkPath) {
    std::unique_ptr<RackDevice> device(new RackDevice());
    device->io_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (device->io_ < 0) failWithErrno("cannot create a pseudo-terminal");
    if (grantpt(device->io_) != 0 || unlockpt(device->io_) != 0)
        failWithErrno("cannot unlock a pseudo-terminal");
    char name[256];
    if (ptsname_r(device->io_, name, sizeof name) != 0)
        failWithErrno("cannot name a pseudo-terminal");
    device->devicePath_ = name;
    if (fcntl(device->io_, F_SETFL, O_NONBLOCK) != 0)
        failWithErrno("cannot configure a pseudo-terminal");
    device->heldSlave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (device->heldSlave_ < 0) failWithErrno("cannot open " + device->devicePath_);
    makeRaw(device->heldSlave_, device->devicePath_);
    // Watched only now, so that the emulator's own open is not counted.
    device->watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (device->watch_ < 0 || inotify_add_watch(device->watch_, name, IN_OPEN | IN_CLOSE) < 0) {
        failWithErrno("cannot watch " + device->devicePath_);
    }
    if (!linkPath.empty()) {
        makeLink(linkPath, device->devicePath_);
        device->linkPath_ = linkPath;
    }
    return device;
}

std::unique_ptr<RackDevice> RackDevice::attach(const std::string& path) {
    std::unique_ptr<RackDevice> device(new RackDevice());
    device->io_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (device->io_ < 0) failWithErrno("cannot open " + path);
    device->devicePath_ = path;
    if (isatty(device->io_)) makeRaw(device->io_, path);
    return device;
}

RackDevice::~RackDevice() {
    if (!linkPath_.empty()) removeLink(linkPath_, devicePath_);
    if (watch_ >= 0) close(watch_);
    if (heldSlave_ >= 0) close(heldSlave_);
    if (io_ >= 0) close(io_);
}

std::optional<Bytes> RackDevice::readAvailable() {
    Bytes bytes;
    std::uint8_t chunk[4096];
    for (;;) {
        const ssize_t count = read(io_, chunk, sizeof chunk);
        if (count > 0) {
            bytes.insert(bytes.end(), chunk, chunk + count);
            continue;
        }
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return bytes;
        // End of file or a hang-up: the other side is gone and will not come back.
        if (bytes.empty()) return std::nullopt;
        return bytes;
    }
}

std::vector<RackDevice::PeerChange> RackDevice::peerChanges() {
    std::vector<PeerChange> changes;
    alignas(inotify_event) char buffer[4096];
    ssize_t count = 0;
    while ((count = read(watch_, buffer, sizeof buffer)) > 0) {
        for (char* at = buffer; at < buffer + count;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            at += sizeof(inotify_event) + event->len;
            if ((event->mask & (IN_OPEN | IN_CLOSE)) == 0) continue;
            const bool opened = (event->mask & IN_OPEN) != 0;
            openers_ = std::max(0, openers_ + (opened ? 1 : -1));
            changes.push_back({opened, openers_});
        }
    }
    if (!changes.empty() && openers_ == 0) ioctl(heldSlave_, TIOCNXCL);
    return changes;
}

bool RackDevice::writeAll(std::span<const std::uint8_t> bytes) {
    // The line normally takes the whole message at once (the backlog limit sees to that);
    // the loop only covers a driver that takes it in parts.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = write(io_, bytes.data() + done, bytes.size() - done);
        if (count > 0) {
            done += static_cast<std::size_t>(count);
        } else if (count < 0 && errno == EINTR) {
            continue;
        } else if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitWritable(io_, deadline)) return false;
        } else {
            return false;
        }
    }
    return true;
}

std::size_t RackDevice::unreadBytes() {
    // On a pseudo-terminal the bytes wait in the slave's input queue; on an attached device
    // they wait in its output queue.
    int count = 0;
    const int result =
        heldSlave_ >= 0 ? ioctl(heldSlave_, FIONREAD, &count) : ioctl(io_, TIOCOUTQ, &count);
    return result == 0 && count > 0 ? static_cast<std::size_t>(count) : 0;
}

}  // namespace rackemu
