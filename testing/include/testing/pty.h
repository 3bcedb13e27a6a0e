// A pseudo-terminal standing in for a rack's serial line: the code under test opens the
// slave as its port, the test plays the rack on the (non-blocking) master.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "testing/process.h"

namespace testsupport {

class Pty {
public:
    Pty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) std::abort();
        slave_ = ptsname(master_);
    }
    ~Pty() { hangUp(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    // The rack's end goes away, as when a board is unplugged.
    void hangUp() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }
    int master() const { return master_; }
    const std::string& slavePath() const { return slave_; }
    // The port path as the rack configuration gives it.
    std::string portPath() const { return "\\\\.\\" + slave_; }

    bool send(const std::string& bytes) const {
        return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    // Drops what waits on the master, such as what the slave echoed in its default mode.
    void drain() const {
        char chunk[256];
        while (::read(master_, chunk, sizeof chunk) > 0) {
        }
    }
    // What the other side wrote, once `count` bytes came (or after a second).
    std::string receive(std::size_t count) const {
        std::string got;
        waitUntil(
            [&] {
                char chunk[256];
                const ssize_t n = ::read(master_, chunk, sizeof chunk);
                if (n > 0) got.append(chunk, static_cast<std::size_t>(n));
                return got.size() >= count;
            },
            std::chrono::seconds(1), std::chrono::milliseconds(1));
        return got;
    }

private:
    int master_ = -1;
    std::string slave_;
};

}  // namespace testsupport
