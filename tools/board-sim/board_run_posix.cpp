#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <stdexcept>

#include "board-sim/board_run.h"
#include "rack-emulator/event_loop.h"

namespace boardsim {

namespace {

using namespace std::chrono_literals;
using rackemu::Json;

// The emulation runs in slices of at most this much time, so that what the boards send
// reaches their lines within it, as it would a real UART's.
constexpr auto slice = 1ms;
// A board that was held up (the machine was busy) longer than this does not race to
// catch up, which would pour out in a moment what it should have sent over a while: its
// clock slips instead, and the slip is said, at most once a second.
constexpr auto tolerableLag = 20ms;

std::uint64_t cyclesIn(Clock::duration elapsed) {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count()) *
           AvrBoard::frequency / 1'000'000'000u;
}

Clock::duration durationOf(std::uint64_t cycles) {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(cycles * 1'000'000'000u / AvrBoard::frequency));
}

// A real USB-serial bridge drops what no one reads; so does the line here once the
// terminal's buffer is full.
void writeLine(BoardStation& station, const Bytes& bytes, rackemu::EventLog& log, Clock::time_point now) {
    if (bytes.empty()) return;
    const ssize_t written = ::write(station.device->handle(), bytes.data(), bytes.size());
    const std::size_t lost = written < 0 ? bytes.size() : bytes.size() - static_cast<std::size_t>(written);
    if (lost > 0 && !station.lineFull) log.event("line_full", {{"rack", station.rack->name()}}, now);
    if (lost == 0 && station.lineFull)
        log.event("line_drained", {{"rack", station.rack->name()}, {"dropped", station.dropped}}, now);
    station.lineFull = lost > 0;
    station.dropped = lost > 0 ? station.dropped + lost : 0;
}

// The wall-clock moment at which the boards' clocks stood at zero, moved on by every slip.
class EmulatedClock {
public:
    explicit EmulatedClock(Clock::time_point start) : origin_(start) {}

    // The cycle the boards are to run to now.
    std::uint64_t target(Clock::time_point now, rackemu::EventLog& log) {
        const Clock::duration lag = now - origin_ - durationOf(reached_);
        if (lag > tolerableLag) {
            origin_ += lag - slice;
            slipped_ += lag - slice;
            report(now, log);
        }
        reached_ = std::max(reached_, cyclesIn(now - origin_));
        return reached_;
    }

private:
    void report(Clock::time_point now, rackemu::EventLog& log) {
        if (now < quietUntil_) return;
        quietUntil_ = now + 1s;
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(slipped_).count();
        log.event("behind", {{"ms", ms}}, now);
        std::cerr << "board-sim: the boards' clocks have fallen " << ms << " ms behind the wall clock"
                  << std::endl;
    }

    Clock::time_point origin_;
    std::uint64_t reached_ = 0;
    Clock::duration slipped_{};
    Clock::time_point quietUntil_{};
};

struct Watched {
    std::vector<pollfd> fds;
    std::vector<std::pair<int, std::size_t>> what;  // 0 stop, 1 control, 2 line, 3 opens; station
};

Watched watchList(const std::vector<BoardStation>& stations, const rackemu::ControlInput* control) {
    Watched watched;
    const auto add = [&](int fd, int what, std::size_t station) {
        watched.fds.push_back({fd, POLLIN, 0});
        watched.what.emplace_back(what, station);
    };
    add(rackemu::stopSignalHandle(), 0, 0);
    if (control != nullptr && control->handle() >= 0) add(control->handle(), 1, 0);
    for (std::size_t i = 0; i < stations.size(); ++i) {
        add(stations[i].device->handle(), 2, i);
        add(stations[i].device->watchHandle(), 3, i);
    }
    return watched;
}

void readLine(rackemu::Emulator& emulator, BoardStation& station) {
    const std::optional<Bytes> bytes = station.device->readAvailable();
    if (bytes && !bytes->empty()) emulator.received(station.rack->kind(), *bytes, Clock::now());
}

void followOpens(rackemu::Emulator& emulator, BoardStation& station, rackemu::EventLog& log) {
    for (const rackemu::RackDevice::PeerChange& change : station.device->peerChanges()) {
        const Clock::time_point now = Clock::now();
        log.event(change.opened ? "opened" : "closed",
                  {{"rack", station.rack->name()}, {"openers", change.openers}}, now);
        if (!change.opened) continue;
        // The bridge raises DTR, which resets the board.
        station.rack->reset();
        log.event("reset", {{"rack", station.rack->name()}}, now);
        emulator.deviceOpened(now);
    }
}

// Runs every board up to `now`; the firmware of a board that crashed is left stopped.
void emulateUntil(std::vector<BoardStation>& stations, std::uint64_t cycle, rackemu::EventLog& log) {
    for (BoardStation& station : stations) {
        if (!station.running || station.rack->runUntil(cycle)) continue;
        station.running = false;
        log.event("crashed", {{"rack", station.rack->name()}}, Clock::now());
        std::cerr << "board-sim: the " << station.rack->name() << " board's firmware crashed" << std::endl;
    }
}

}  // namespace

std::string runBoards(rackemu::Emulator& emulator, std::vector<BoardStation>& stations,
                      rackemu::ControlInput* control, rackemu::EventLog& log) {
    EmulatedClock clock(log.start());
    for (;;) {
        const Clock::time_point now = Clock::now();
        emulateUntil(stations, clock.target(now, log), log);
        const Clock::time_point after = Clock::now();
        for (BoardStation& station : stations) {
            writeLine(station, station.bridge.pass(station.rack->takeSent(after), after), log, after);
            station.rack->report(after);
        }
        emulator.step(after);
        if (emulator.finished()) return "quit";

        Watched watched = watchList(stations, control);
        const auto wait = std::clamp(emulator.nextWake() - Clock::now(), Clock::duration::zero(),
                                     std::chrono::duration_cast<Clock::duration>(slice));
        const timespec timeout{0, static_cast<long>(std::chrono::nanoseconds(wait).count())};
        const int ready = ppoll(watched.fds.data(), watched.fds.size(), &timeout, nullptr);
        if (ready < 0 && errno != EINTR) throw std::runtime_error("poll failed");
        for (std::size_t i = 0; ready > 0 && i < watched.fds.size(); ++i) {
            if (watched.fds[i].revents == 0) continue;
            const auto [what, index] = watched.what[i];
            if (what == 0) return "signal";
            if (what == 1)
                for (const std::string& line : control->readLines()) emulator.controlLine(line, Clock::now());
            if (what == 2) readLine(emulator, stations[index]);
            if (what == 3) followOpens(emulator, stations[index], log);
        }
    }
}

}  // namespace boardsim
