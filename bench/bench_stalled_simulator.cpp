// The simulator that hangs (while loading, for example) while the racks go on: the
// stand-in stops reading, the connection stays open, and every request the racks cause
// waits in the service's send queue. Measured: how fast the service's resident memory
// grows, per minute, with the four racks flying the compressed flight at their documented
// rates; and, in the same run, the same flight with a simulator that reads: its memory
// growth, and the bytes of the requests it received per minute (what the stalled service
// has to keep). The slope is fitted to the last two thirds of each window, once the
// connection's own buffer has filled. With CSV, the stalled run's samples are written there.
//
//   bench_stalled_simulator [SECONDS [CSV]]   (SECONDS: each window, default 90)
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "compressed_flight.h"
#include "sampling.h"
#include "service_run.h"

namespace {

using namespace std::chrono_literals;

// The stand-in stops reading this long after its start, once the racks are at work.
constexpr double kStallAt = 8;

struct Growth {
    double kibPerMinute = 0;
    double rssAtEndKiB = 0;
    double requestKibPerMinute = 0;  // received by the stand-in
    int exitCode = -1;               // after the simulator finally quits
    std::vector<bench::Sample> samples;
};

// The bytes of the requests the stand-in logged from entry `from` on.
double requestBytes(testsupport::StandinLog& log, std::size_t from) {
    double bytes = 0;
    for (const testsupport::Json& entry : log.select([](const testsupport::Json& e) { return e.contains("request"); }, from))
        bytes += entry.value("size", 0.0);
    return bytes;
}

Growth measure(const bench::VirtualRacks& racks, std::chrono::seconds window, bool stalled) {
    std::vector<std::string> args;
    if (stalled) args = {"--stop-reading-after", std::to_string(kStallAt)};
    bench::ServiceRun run("bench-stall", racks.config(), args);
    testsupport::ChildProcess& service = run.service();
    const bool up = service.waitForOutput("Launch a flight.", 10s) && bench::racksWriting(run.log(), 10s);
    if (!up || (stalled && !run.log().waitForEvent("stop_reading", 20s))) {
        std::fprintf(stderr, "bench: the service did not come up before the stall\n%s", service.output().c_str());
        std::exit(1);
    }
    const std::size_t logged = run.log().size();
    const auto samples = bench::sampleEverySecond(service.pid(), window, [&] { return service.running(); });
    if (samples.size() < 6) {
        std::fprintf(stderr, "bench: the service ended\n%s", service.output().c_str());
        std::exit(1);
    }
    Growth growth;
    growth.kibPerMinute = 60 * bench::slopePerSecond(samples, &bench::Sample::rssKiB, samples.size() / 3, samples.size());
    growth.rssAtEndKiB = samples.back().rssKiB;
    growth.requestKibPerMinute = requestBytes(run.log(), logged) / 1024 / samples.back().seconds * 60;
    growth.samples = samples;
    run.standin().signal(SIGINT);
    growth.exitCode = service.waitExit(15s).value_or(-1);
    return growth;
}

}  // namespace

int main(int argc, char** argv) {
    const long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 90;
    if (seconds < 6) {
        std::fprintf(stderr, "usage: bench_stalled_simulator [SECONDS]  (6 or more)\n");
        return 2;
    }
    const std::chrono::seconds window(seconds);
    // One flight for both runs, long enough for both.
    const bench::VirtualRacks racks(bench::rackFlight(2.0 * static_cast<double>(seconds) + 120));
    const Growth reading = measure(racks, window, false);
    const Growth stalled = measure(racks, window, true);
    if (argc > 2) bench::writeSamples(argv[2], stalled.samples);

    bench::print("stall_rss_growth_reading", reading.kibPerMinute, "KiB_per_min");
    bench::print("stall_rss_growth_stalled", stalled.kibPerMinute, "KiB_per_min");
    bench::print("stall_rss_growth_stalled_minus_reading", stalled.kibPerMinute - reading.kibPerMinute,
                 "KiB_per_min");
    bench::print("stall_requests_reading", reading.requestKibPerMinute, "KiB_per_min");
    // Memory kept per byte of request held back.
    if (reading.requestKibPerMinute > 0)
        bench::print("stall_rss_growth_stalled_vs_requests_reading",
                     (stalled.kibPerMinute - reading.kibPerMinute) / reading.requestKibPerMinute, "ratio");
    bench::print("stall_rss_at_end_reading", reading.rssAtEndKiB / 1024, "MiB");
    bench::print("stall_rss_at_end_stalled", stalled.rssAtEndKiB / 1024, "MiB");
    if (stalled.kibPerMinute > 0) {
        const double gib = 1024.0 * 1024.0;
        bench::print("stall_hours_until_1GiB", (gib - stalled.rssAtEndKiB) / stalled.kibPerMinute / 60, "h");
    }
    // A service that waited on a hung simulator still ends when the simulator quits.
    if (reading.exitCode != 0 || stalled.exitCode != 0) {
        std::fprintf(stderr, "bench: exit codes after the quit: %d reading, %d stalled\n", reading.exitCode,
                     stalled.exitCode);
        return 1;
    }
    return 0;
}
