// The cost of a quiet run: the service with four virtual racks connected and streaming
// their state, the simulator sending nothing, for 10 s: CPU seconds per wall second of
// the service's process, its peak resident memory, and how often each of its threads
// wakes. Measured in the same run for comparison: a bare loop of 1 ms sleeps (what a
// main loop that polls every millisecond costs on this machine) and the service with no
// racks at all.
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sampling.h"
#include "service_run.h"
#include "testing/proc_stats.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kWindow = 10s;

// CPU seconds per wall second of the threads of `pid` while `wait` runs, to the nanosecond.
double cpuPerSecond(pid_t pid, const std::function<void()>& wait) {
    const double before = testsupport::threadsCpuSeconds(pid);
    const auto started = Clock::now();
    wait();
    const double wall = std::chrono::duration<double>(Clock::now() - started).count();
    return (testsupport::threadsCpuSeconds(pid) - before) / wall;
}

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The loop's own thread, measured by itself.
double bareSleepLoopCost() {
    double cost = 0;
    std::thread loop([&] {
        const double before = threadCpuSeconds();
        const auto started = Clock::now();
        while (Clock::now() < started + kWindow) std::this_thread::sleep_for(1ms);
        const double wall = std::chrono::duration<double>(Clock::now() - started).count();
        cost = (threadCpuSeconds() - before) / wall;
    });
    loop.join();
    return cost;
}

struct Measured {
    double cpu = 0;
    double rssMiB = 0;
    // Wake-ups per second of each thread, in the order the threads were made.
    std::vector<double> wakeups;
};

// The service's threads in the order they are made: the main thread, the connection's
// I/O thread, then the racks in rack-name order.
const char* const kThreadNames[] = {"main", "io", "autopilot", "efis", "joystick", "pedals"};

std::vector<double> wakeupsPerSecond(const std::vector<std::pair<pid_t, double>>& before,
                                     const std::vector<std::pair<pid_t, double>>& after,
                                     double wall) {
    std::vector<double> rates;
    for (const auto& [tid, count] : after) {
        double start = count;
        for (const auto& [earlierTid, earlier] : before)
            if (earlierTid == tid) start = earlier;
        rates.push_back((count - start) / wall);
    }
    return rates;
}

void printWakeups(const std::string& run, const std::vector<double>& rates) {
    for (std::size_t i = 0; i < rates.size(); ++i) {
        const std::string name = i < std::size(kThreadNames) ? kThreadNames[i] : std::to_string(i);
        bench::print("idle_wakeups_" + run + "_" + name, rates[i], "per_s");
    }
}

// Runs the service with `config` against a quiet stand-in and measures it once `ready`
// says the racks are running.
Measured measureService(const std::string& config, const std::function<bool(testsupport::StandinLog&)>& ready) {
    bench::ServiceRun run("bench-idle", config);
    testsupport::ChildProcess& service = run.service();
    if (!service.waitForOutput("Launch a flight.", 10s) || !ready(run.log())) {
        std::fprintf(stderr, "bench: the service did not come up\n%s", service.output().c_str());
        std::exit(1);
    }
    Measured measured;
    const auto threadsBefore = testsupport::threadWakeups(service.pid());
    const auto started = Clock::now();
    measured.cpu = cpuPerSecond(service.pid(), [] { std::this_thread::sleep_for(kWindow); });
    const double wall = std::chrono::duration<double>(Clock::now() - started).count();
    measured.wakeups =
        wakeupsPerSecond(threadsBefore, testsupport::threadWakeups(service.pid()), wall);
    measured.rssMiB = testsupport::peakRssKiB(service.pid()) / 1024.0;
    return measured;
}

}  // namespace

int main() {
    using bench::print;
    const bench::VirtualRacks racks;
    const double bare = bareSleepLoopCost();
    const Measured none = measureService("{}", [](testsupport::StandinLog& log) {
        return log.waitForMessage("OPEN", nullptr, 10s).has_value();
    });
    // A second after every rack's loop is running lets start-up settle.
    const Measured four = measureService(racks.config(), [](testsupport::StandinLog& log) {
        const bool running = bench::racksWriting(log, 10s);
        std::this_thread::sleep_for(1s);
        return running;
    });

    print("idle_cpu_four_racks", four.cpu, "cpu_s_per_s");
    print("idle_cpu_no_racks", none.cpu, "cpu_s_per_s");
    print("idle_cpu_bare_1ms_sleep_loop", bare, "cpu_s_per_s");
    print("idle_cpu_four_racks_share", four.cpu - none.cpu, "cpu_s_per_s");
    print("idle_cpu_four_racks_vs_target_0.02", four.cpu / 0.02, "ratio");
    print("idle_cpu_four_racks_vs_bare_sleep_loop", four.cpu / bare, "ratio");
    print("idle_peak_rss_four_racks", four.rssMiB, "MiB");
    print("idle_peak_rss_no_racks", none.rssMiB, "MiB");
    printWakeups("four_racks", four.wakeups);
    printWakeups("no_racks", none.wakeups);
    return 0;
}
