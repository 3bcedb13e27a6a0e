// The soak: the service with the stand-in and the four virtual racks through a compressed
// flight (bench/compressed_flight.h) for MINUTES (default 1; bench/soak runs it longer),
// its resident memory, open descriptors, threads and CPU sampled once a second. Printed:
// the means of the first and the last minute (a third of the run each when it is shorter
// than three minutes), their ratio, and the growth extrapolated to an hour. It fails when
// memory or descriptors grow by more than 1% an hour (memory also by more than a page, the
// least it moves by), or when the service does not end with code 0 once the simulator quits
// at the end. With CSV, every sample is written there.
//
//   bench_soak [MINUTES [CSV]]
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "compressed_flight.h"
#include "sampling.h"
#include "service_run.h"

namespace {

using namespace std::chrono_literals;
using bench::Sample;

constexpr double kMaxGrowthPerHour = 1.0;  // percent
// Resident memory moves by whole pages: a page more is no growth a short soak can tell.
constexpr double kPageKiB = 4;
// The scripts run past the soak, so that it ends in mid-flight.
constexpr double kScriptMargin = 120;
// Sampling begins once the flight's pattern has run whole, so that what the service
// allocates the first time each path runs is not taken for growth.
constexpr auto kSettle = std::chrono::seconds(static_cast<int>(bench::kFlightPattern) + 5);

struct Measure {
    const char* name;
    double Sample::*field;
    const char* unit;
    bool bounded;       // fails the soak when it grows beyond kMaxGrowthPerHour
    double resolution;  // the smallest change the measure shows
};

const Measure kMeasures[] = {
    {"rss", &Sample::rssKiB, "KiB", true, kPageKiB},
    {"descriptors", &Sample::descriptors, "count", true, 0},
    {"threads", &Sample::threads, "count", false, 0},
    {"cpu", &Sample::cpu, "cpu_s_per_s", false, 0},
};

double minutesArgument(int argc, char** argv) {
    if (argc < 2) return 1;
    char* end = nullptr;
    const double minutes = std::strtod(argv[1], &end);
    if (end == argv[1] || *end != '\0' || !(minutes > 0)) {
        std::fprintf(stderr, "usage: bench_soak [MINUTES [CSV]]  (MINUTES: a positive number)\n");
        std::exit(2);
    }
    return minutes;
}


// Prints the figures of every measure; false when a bounded one grew too fast.
bool report(const std::vector<Sample>& samples) {
    const std::size_t count = samples.size();
    const std::size_t window = std::min<std::size_t>(60, count / 3);
    // Hours between the middles of the two windows.
    const double hours =
        (samples[count - 1 - window / 2].seconds - samples[window / 2].seconds) / 3600.0;
    bench::print("soak_seconds", samples.back().seconds, "s");
    bench::print("soak_window", static_cast<double>(window), "s");
    bool sound = true;
    for (const Measure& m : kMeasures) {
        const double first = bench::mean(samples, m.field, 0, window);
        const double last = bench::mean(samples, m.field, count - window, count);
        const double ratio = first > 0 ? last / first : 1;
        const double perHour = (ratio - 1) * 100 / hours;
        const std::string name = std::string("soak_") + m.name;
        bench::print(name + "_first", first, m.unit);
        bench::print(name + "_last", last, m.unit);
        bench::print(name + "_last_vs_first", ratio, "ratio");
        if (!m.bounded) continue;
        bench::print(name + "_growth_per_hour", perHour, "percent");
        if (m.resolution > 0)
            bench::print(name + "_resolution_per_hour", m.resolution / first * 100 / hours, "percent");
        if (perHour > kMaxGrowthPerHour && last - first > m.resolution) {
            std::fprintf(stderr, "soak: %s grows by %.3f%% an hour (bound %.1f%%)\n", m.name, perHour,
                         kMaxGrowthPerHour);
            sound = false;
        }
    }
    return sound;
}

}  // namespace

int main(int argc, char** argv) {
    const double minutes = minutesArgument(argc, argv);
    const double seconds = minutes * 60;
    testsupport::TempDir scripts;
    scripts.write("companion.jsonl", bench::companionChanges(seconds + kScriptMargin));
    const bench::VirtualRacks racks(bench::rackFlight(seconds + kScriptMargin));
    bench::ServiceRun run("bench-soak", racks.config(), {"--script", scripts.file("companion.jsonl")});
    testsupport::ChildProcess& service = run.service();
    if (!service.waitForOutput("Launch a flight.", 10s) || !bench::racksWriting(run.log(), 10s)) {
        std::fprintf(stderr, "soak: the service did not come up\n%s", service.output().c_str());
        return 1;
    }
    std::this_thread::sleep_for(kSettle);

    const auto samples = bench::sampleEverySecond(service.pid(), std::chrono::seconds(std::lround(seconds)),
                                                  [&] { return service.running(); });
    if (!service.running() || samples.size() < 3) {
        std::fprintf(stderr, "soak: the service ended during the soak\n%s", service.output().c_str());
        return 1;
    }
    if (argc > 2) bench::writeSamples(argv[2], samples);
    const bool sound = report(samples);

    // The simulator quits at the end of the soak, as it does at the end of a session.
    run.standin().signal(SIGINT);
    const auto exitCode = service.waitExit(15s);
    if (exitCode != 0) {
        std::fprintf(stderr, "soak: the service did not end with 0 after the quit\n%s", service.output().c_str());
        return 1;
    }
    return sound ? 0 : 1;
}
