// A pseudo-terminal standing in for a rack's serial line: the handler opens the slave as
// its port, the test plays the rack on the master.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/support/process.h"

namespace racktest {

class RackPty {
public:
    RackPty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) std::abort();
        slave_ = ptsname(master_);
    }
    ~RackPty() { ::close(master_); }
    RackPty(const RackPty&) = delete;
    RackPty& operator=(const RackPty&) = delete;

    // The port path as the configuration gives it.
    std::string portPath() const { return "\\\\.\\" + slave_; }
    const std::string& slavePath() const { return slave_; }

    bool send(const std::string& bytes) const {
        return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    // What the handler wrote, once `count` bytes came (or after a second).
    std::string receive(std::size_t count) const {
        std::string got;
        testsupport::waitUntil(
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

}  // namespace racktest
