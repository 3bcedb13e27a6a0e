#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "sim-standin/server/stop_signal.h"

namespace standin {
namespace {

// The handler may only touch these: a flag and the write end of a pipe (the self-pipe
// trick), both safe in a signal handler.
volatile sig_atomic_t stopRequested = 0;
int wakeFds[2] = {-1, -1};

extern "C" void onStopSignal(int) {
    stopRequested = 1;
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = write(wakeFds[1], &byte, 1);
    errno = saved;
}

}  // namespace

StopSignal::StopSignal() {
    if (pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) wakeFds[0] = wakeFds[1] = -1;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A client that goes away while we write must not end the stand-in.
    signal(SIGPIPE, SIG_IGN);
}

StopSignal::~StopSignal() {
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    for (int& fd : wakeFds) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

bool StopSignal::requested() const {
    return stopRequested != 0;
}

std::intptr_t StopSignal::waitHandle() const {
    return wakeFds[0];
}

void StopSignal::drain() const {
    char bytes[64];
    while (read(wakeFds[0], bytes, sizeof bytes) > 0) {
    }
}

}  // namespace standin
