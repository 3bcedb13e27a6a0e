// What the USB-serial link between a panel and the service costs: the FCU's firmware on an
// emulated board (board-sim) behind each model of bridge, the service and the stand-in.
// 400 single detents, one every 100 ms over the four knobs both ways, are turned; every
// frame the board sent with a detent in it is matched, in order, with the events the
// stand-in got. Per bridge: frames and detents lost, as counts and as a
// share of those the board sent in the same run, and the longest run of frames lost in a
// row. Then, on the FCU's own bridge, brief pulls and pushes of the speed knob: the events
// each gave, with the firmware holding a pull until the aircraft's managed dot changes.
//
//   bench_board_links [--service PATH] [--detents N] [--bridges direct,16u2,ftdi,ch340]
//                     [--pulls N]
// --service runs another build's orvendale-fs (a branch's, to compare its frame reading).
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <numeric>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "service_run.h"
#include "testing/rack_log.h"

namespace {

using namespace std::chrono_literals;
using testsupport::Json;

struct Options {
    std::string service = testsupport::binaryPath("orvendale-fs");
    int detents = 400;
    int pulls = 16;
    std::vector<std::string> bridges = {"direct", "16u2", "ftdi", "ch340"};
};

const char* const kKnobs[] = {"spd", "hdg", "alt", "vs"};
const char* const kUp[] = {"AP_SPD_VAR_INC", "HEADING_BUG_INC", "AP_ALT_VAR_INC", "AP_VS_VAR_INC"};
const char* const kDown[] = {"AP_SPD_VAR_DEC", "HEADING_BUG_DEC", "AP_ALT_VAR_DEC", "AP_VS_VAR_DEC"};

[[noreturn]] void fail(const std::string& why) {
    std::fprintf(stderr, "bench: board_links: %s\n", why.c_str());
    std::exit(1);
}

void print(const std::string& name, double value, const char* unit) {
    std::printf("bench: %s %.3f %s\n", name.c_str(), value, unit);
    std::fflush(stdout);
}

// The FCU's board behind `bridge`, the stand-in, and the service at `servicePath`, until
// the board's frames are being taken.
class FcuRun {
public:
    FcuRun(const std::string& bridge, const std::string& servicePath) {
        testsupport::ProcessOptions boards{{testsupport::binaryPath("board-sim"), "--fcu", dir_.file("fcu"),
                                            "--fcu-bridge", bridge, "--log", dir_.file("racks.jsonl"),
                                            "--control", dir_.file("control")},
                                           dir_.path()};
        boards_ = std::make_unique<testsupport::ChildProcess>(boards);
        if (!boards_->waitForOutput("board-sim: ready", 10s)) fail("board-sim did not start");
        const Json config = {{dir_.file("fcu"), "autopilot_rack"}};
        service_ = std::make_unique<bench::ServiceRun>("bench-links", config.dump(), std::vector<std::string>{},
                                                       servicePath);
        const auto reset = log_.waitForRackEvent("reset", "fcu", 10s);
        if (!reset || !service_->log().waitForMessage("OPEN", nullptr, 10s)) fail("the service did not open the FCU");
        // One detent that arrives: the board has started again and its frames are read.
        const std::size_t from = service_->log().size();
        for (int attempt = 0; attempt < 20 && !arrived(from); ++attempt) act("turn fcu spd 1");
        if (!arrived(from)) fail("the FCU's detents never arrived");
    }
    ~FcuRun() {
        service_.reset();
        boards_->signal(SIGTERM);
        boards_->waitExit(5s);
    }

    void act(const std::string& lines) { testsupport::sendRackActions(dir_.file("control"), lines); }
    testsupport::RackLog& racks() { return log_; }
    testsupport::StandinLog& sim() { return service_->log(); }

private:
    bool arrived(std::size_t from) {
        return testsupport::waitUntil([&] { return !sim().transmittedEvents(from).empty(); }, 1500ms);
    }

    testsupport::TempDir dir_;
    testsupport::RackLog log_{dir_.file("racks.jsonl")};
    std::unique_ptr<testsupport::ChildProcess> boards_;
    std::unique_ptr<bench::ServiceRun> service_;
};

struct Event {
    std::string name;
    long long ns;
};

struct Loss {
    int frames = 0;
    int framesLost = 0;
    int detents = 0;
    int detentsLost = 0;
    int longestRun = 0;
};

// The frames the board sent with detents in them, each matched with the events that follow
// it in order: taken when the next events are its own, within 2 s of it (a frame may wait in
// the port's queue behind others). Events from before a frame belong to none after it.
Loss match(const std::vector<Json>& frames, const std::vector<Event>& events) {
    Loss loss;
    std::size_t next = 0;
    int run = 0;
    for (const Json& frame : frames) {
        std::vector<std::string> own;
        for (std::size_t k = 0; k < 4; ++k) {
            const int count = frame["fields"].value(kKnobs[k], 0);
            for (int i = 0; i < std::abs(count); ++i) own.push_back(count > 0 ? kUp[k] : kDown[k]);
        }
        if (own.empty()) continue;
        ++loss.frames;
        loss.detents += static_cast<int>(own.size());
        const long long sent = frame.value("mono_ns", 0LL);
        while (next < events.size() && events[next].ns < sent) ++next;
        bool taken = next + own.size() <= events.size();
        for (std::size_t i = 0; taken && i < own.size(); ++i)
            taken = events[next + i].name == own[i] && events[next + i].ns - sent < 2'000'000'000LL;
        if (taken) {
            next += own.size();
            run = 0;
            continue;
        }
        ++loss.framesLost;
        loss.detentsLost += static_cast<int>(own.size());
        loss.longestRun = std::max(loss.longestRun, ++run);
    }
    return loss;
}

std::vector<Event> knobEvents(testsupport::StandinLog& log, std::size_t from) {
    std::vector<Event> events;
    for (const Json& e : log.requests("TransmitClientEvent", from)) {
        const std::string name = e["fields"].value("event", "");
        if (name.find("_VAR_") != std::string::npos || name.find("HEADING_BUG") != std::string::npos)
            events.push_back({name, e.value("mono_ns", 0LL)});
    }
    return events;
}

Loss measureDetents(FcuRun& run, int detents) {
    const std::size_t from = run.sim().size();
    const std::size_t sentFrom = run.racks().size();
    std::ostringstream lines;
    for (int i = 0; i < detents; ++i)
        lines << "+" << 0.1 * (i + 1) << " turn fcu " << kKnobs[i % 4] << " " << ((i / 4) % 2 == 0 ? 1 : -1) << "\n";
    run.act(lines.str());
    // The last detent's frame, and a second for it to be taken.
    const auto detentFrames = [&] {
        int count = 0;
        for (const Json& frame : run.racks().frames("fcu", "out", sentFrom))
            for (const char* knob : kKnobs) count += std::abs(frame["fields"].value(knob, 0));
        return count;
    };
    if (!testsupport::waitUntil([&] { return detentFrames() >= detents; }, std::chrono::milliseconds(100 * detents + 20'000)))
        fail("the board did not turn every detent");
    std::this_thread::sleep_for(1s);
    std::vector<Json> frames = run.racks().frames("fcu", "out", sentFrom);
    std::erase_if(frames, [](const Json& f) { return !f.contains("fields"); });
    return match(frames, knobEvents(run.sim(), from));
}

void reportDetents(const std::string& bridge, const Loss& loss) {
    const std::string prefix = "board_link_" + bridge;
    print(prefix + "_frames_lost", loss.framesLost, "frames");
    print(prefix + "_frames_lost_of_sent", static_cast<double>(loss.framesLost) / std::max(loss.frames, 1), "ratio");
    print(prefix + "_detents_lost", loss.detentsLost, "detents");
    print(prefix + "_detents_lost_of_turned", static_cast<double>(loss.detentsLost) / std::max(loss.detents, 1),
          "ratio");
    print(prefix + "_longest_lost_run", loss.longestRun, "frames");
}

// Brief pulls and pushes of the speed knob, in turn, far enough apart for each to end.
void measurePulls(FcuRun& run, int pulls) {
    std::vector<int> events;
    for (int i = 0; i < pulls; ++i) {
        const std::size_t from = run.sim().size();
        const char* control = i % 2 == 0 ? "spd_on" : "spd_off";
        run.act(std::string("hold fcu ") + control + " 0.12");
        std::this_thread::sleep_for(2500ms);
        const auto done = run.sim().transmittedEvents(from);
        events.push_back(static_cast<int>(std::count(done.begin(), done.end(),
                                                     i % 2 == 0 ? "AP_AIRSPEED_ON" : "AP_AIRSPEED_OFF")));
    }
    const double total = static_cast<double>(std::accumulate(events.begin(), events.end(), 0));
    print("knob_pull_events_mean", total / pulls, "events");
    print("knob_pull_events_max", *std::max_element(events.begin(), events.end()), "events");
    print("knob_pull_without_event_of_pulls",
          static_cast<double>(std::count(events.begin(), events.end(), 0)) / pulls, "ratio");
}

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--service") {
            options.service = value;
        } else if (name == "--detents") {
            options.detents = std::stoi(value);
        } else if (name == "--pulls") {
            options.pulls = std::stoi(value);
        } else if (name == "--bridges") {
            options.bridges.clear();
            std::istringstream list(value);
            for (std::string bridge; std::getline(list, bridge, ',');) options.bridges.push_back(bridge);
        } else {
            fail("unknown option " + name);
        }
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    for (const std::string& bridge : options.bridges) {
        FcuRun run(bridge, options.service);
        reportDetents(bridge, measureDetents(run, options.detents));
    }
    if (options.pulls > 0) {
        FcuRun run("16u2", options.service);
        measurePulls(run, options.pulls);
    }
    return 0;
}
