#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "rack-emulator/event_loop.h"

namespace rackemu {

namespace {

// Written by the signal handler, read by the loop: the one thing a handler may safely do.
int signalPipe[2] = {-1, -1};

void onStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = write(signalPipe[1], &byte, 1);
}

}  // namespace

void installStopSignals() {
    if (signalPipe[0] < 0 && pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::runtime_error("cannot create the signal pipe");
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed terminal ends the run cleanly too, so that no link is left behind.
    sigaction(SIGHUP, &action, nullptr);
    // Standard output whose reader went away must not end the run before the cleanup.
    signal(SIGPIPE, SIG_IGN);
}

int stopSignalHandle() {
    return signalPipe[0];
}

namespace {

// How long to sleep until `wake`; null (no limit) when nothing is planned.
const timespec* timeoutUntil(Clock::time_point wake, timespec& storage) {
    if (wake == Clock::time_point::max()) return nullptr;
    const auto left = std::max(Clock::duration::zero(), wake - Clock::now());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    storage.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    storage.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    return &storage;
}

// What each polled descriptor is.
enum class Source { Signal, Control, Line, PeerWatch };

struct Watch {
    std::vector<pollfd> fds;
    std::vector<std::pair<Source, std::size_t>> sources;  // with the rack's index

    void add(int fd, Source source, std::size_t rack = 0) {
        fds.push_back({fd, POLLIN, 0});
        sources.emplace_back(source, rack);
    }
};

Watch watchList(const std::vector<LoopRack>& racks, const std::vector<bool>& gone,
                const ControlInput* control) {
    Watch watch;
    watch.add(signalPipe[0], Source::Signal);
    if (control != nullptr) watch.add(control->handle(), Source::Control);
    for (std::size_t i = 0; i < racks.size(); ++i) {
        if (!gone[i]) watch.add(racks[i].device->handle(), Source::Line, i);
        if (racks[i].device->watchHandle() >= 0)
            watch.add(racks[i].device->watchHandle(), Source::PeerWatch, i);
    }
    return watch;
}

// Returns false when the line is gone for good.
bool readRack(Emulator& emulator, const LoopRack& rack, EventLog& log) {
    std::optional<Bytes> bytes = rack.device->readAvailable();
    const Clock::time_point now = Clock::now();
    if (!bytes) {
        log.event("lost", {{"rack", rackName(rack.kind)}}, now);
        return false;
    }
    if (!bytes->empty()) emulator.received(rack.kind, *bytes, now);
    return true;
}

void followPeer(Emulator& emulator, const LoopRack& rack, EventLog& log) {
    for (const RackDevice::PeerChange& change : rack.device->peerChanges()) {
        const Clock::time_point now = Clock::now();
        log.event(change.opened ? "opened" : "closed",
                  {{"rack", rackName(rack.kind)}, {"openers", change.openers}}, now);
        if (change.opened) emulator.deviceOpened(now);
    }
}

}  // namespace

std::string runEventLoop(Emulator& emulator, const std::vector<LoopRack>& racks,
                         ControlInput* control, EventLog& log) {
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
        for (std::size_t i = 0; i < watch.fds.size(); ++i) {
            if (watch.fds[i].revents == 0) continue;
            const auto [source, rack] = watch.sources[i];
            if (source == Source::Signal) return "signal";
            if (source == Source::Control) {
                for (const std::string& line : control->readLines())
                    emulator.controlLine(line, Clock::now());
            }
            if (source == Source::Line) gone[rack] = !readRack(emulator, racks[rack], log);
            if (source == Source::PeerWatch) followPeer(emulator, racks[rack], log);
        }
    }
}

}  // namespace rackemu
