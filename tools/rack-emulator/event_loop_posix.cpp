#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "tools/rack-emulator/event_loop.h"

namespace rackemu {

namespace {

// Written by the signal handler, read by the loop: the one thing a handler may safely do.
int signalPipe[2] = {-1, -1};

void onStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = write(signalPipe[1], &byte, 1);
}

void installStopSignals() {
    if (signalPipe[0] < 0 && pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::runtime_error("cannot create the signal pipe");
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader of a link that goes away must not end the run.
    signal(SIGPIPE, SIG_IGN);
}

// How long to sleep until `wake`; null (no limit) when nothing is planned.
const timespec* timeoutUntil(Clock::time_point wake, timespec& storage) {
    if (wake == Clock::time_point::max()) return nullptr;
    const auto left = std::max(Clock::duration::zero(), wake - Clock::now());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    storage.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    storage.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    return &storage;
}

struct Watch {
    std::vector<pollfd> fds;
    std::vector<std::size_t> rackOf;  // for fds[2...]: index into the loop's racks
};

Watch watchList(const std::vector<LoopRack>& racks, const std::vector<bool>& gone,
                const ControlInput* control) {
    Watch watch;
    watch.fds.push_back({signalPipe[0], POLLIN, 0});
    watch.fds.push_back({control != nullptr ? control->handle() : -1, POLLIN, 0});
    for (std::size_t i = 0; i < racks.size(); ++i) {
        if (gone[i]) continue;
        watch.fds.push_back({racks[i].device->handle(), POLLIN, 0});
        watch.rackOf.push_back(i);
    }
    return watch;
}

void readRack(Emulator& emulator, const LoopRack& rack, bool& gone, EventLog& log) {
    std::optional<Bytes> bytes = rack.device->readAvailable();
    const Clock::time_point now = Clock::now();
    if (!bytes) {
        gone = true;
        log.event("closed", {{"rack", rackName(rack.kind)}}, now);
    } else if (!bytes->empty()) {
        emulator.received(rack.kind, *bytes, now);
    }
}

}  // namespace

std::string runEventLoop(Emulator& emulator, const std::vector<LoopRack>& racks,
                         ControlInput* control, EventLog& log) {
    installStopSignals();
    std::vector<bool> gone(racks.size(), false);
    for (;;) {
        emulator.step(Clock::now());
        if (emulator.finished()) return "quit";
        Watch watch = watchList(racks, gone, control);
        timespec storage{};
        const int ready = ppoll(watch.fds.data(), watch.fds.size(),
                                timeoutUntil(emulator.nextWake(), storage), nullptr);
        if (ready < 0 && errno != EINTR) throw std::runtime_error("poll failed");
        if (ready <= 0) continue;
        if (watch.fds[0].revents != 0) return "signal";
        if (watch.fds[1].revents != 0) {
            for (const std::string& line : control->readLines()) emulator.controlLine(line, Clock::now());
        }
        for (std::size_t i = 2; i < watch.fds.size(); ++i) {
            const std::size_t rack = watch.rackOf[i - 2];
            if (watch.fds[i].revents == 0) continue;
            bool isGone = false;
            readRack(emulator, racks[rack], isGone, log);
            gone[rack] = isGone;
        }
    }
}

}  // namespace rackemu
