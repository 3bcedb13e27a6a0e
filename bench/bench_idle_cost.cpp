// The cost of a quiet run: the service with four virtual racks connected and streaming
// their state, the simulator sending nothing, for 10 s: CPU seconds per wall second of
// the service's process and its peak resident memory. Measured in the same run for
// comparison: a bare loop of 1 ms sleeps (what the main loop's dispatch pause alone
// costs on this machine) and the service with no racks at all.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "bench/service_run.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testsupport::Json;

constexpr auto kWindow = 10s;

// utime + stime of a process, in seconds.
double cpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The command name may hold spaces; the fields counted here follow its ')'.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int i = 3; i < 14; ++i) fields >> skip;
    long utime = 0, stime = 0;
    fields >> utime >> stime;
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double peakRssMiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

// CPU seconds per wall second of `pid` while `wait` runs.
double cpuPerSecond(pid_t pid, const std::function<void()>& wait) {
    const double before = cpuSeconds(pid);
    const auto started = Clock::now();
    wait();
    const double wall = std::chrono::duration<double>(Clock::now() - started).count();
    return (cpuSeconds(pid) - before) / wall;
}

double bareSleepLoopCost() {
    std::thread loop([] {
        const auto end = Clock::now() + kWindow;
        while (Clock::now() < end) std::this_thread::sleep_for(1ms);
    });
    return cpuPerSecond(getpid(), [&] { loop.join(); });
}

void print(const std::string& name, double value, const char* unit) {
    std::printf("bench: %s %.4f %s\n", name.c_str(), value, unit);
}

struct Measured {
    double cpu = 0;
    double rssMiB = 0;
};

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
    measured.cpu = cpuPerSecond(service.pid(), [] { std::this_thread::sleep_for(kWindow); });
    measured.rssMiB = peakRssMiB(service.pid());
    return measured;
}

}  // namespace

int main() {
    testsupport::TempDir racksDir;
    testsupport::ProcessOptions emulatorOptions;
    emulatorOptions.args = {testsupport::binaryPath("rack-emulator")};
    for (const char* rack : {"joystick", "pedals", "efis", "fcu"}) {
        emulatorOptions.args.push_back(std::string("--") + rack);
        emulatorOptions.args.push_back(racksDir.file(rack));
    }
    testsupport::ChildProcess emulator(emulatorOptions);
    if (!emulator.waitForOutput("rack-emulator: ready", 10s)) return 1;

    const double bare = bareSleepLoopCost();
    const Measured none = measureService("{}", [](testsupport::StandinLog& log) {
        return log.waitForMessage("OPEN", nullptr, 10s).has_value();
    });
    const Json config = {{racksDir.file("joystick"), "joystick_rack"},
                         {racksDir.file("pedals"), "pedals_rack"},
                         {racksDir.file("efis"), "efis_rack"},
                         {racksDir.file("fcu"), "autopilot_rack"}};
    // Every rack's loop is running once both text racks have written and both panels'
    // frames have been answered with display frames; a second more lets start-up settle.
    const Measured four = measureService(config.dump(), [](testsupport::StandinLog& log) {
        const auto wrote = [&log](unsigned definition) {
            return log.waitForRequest("SetDataOnSimObject",
                                      [=](const Json& f) { return f.value("DefineID", 0u) == definition; }, 10s)
                .has_value();
        };
        const bool running = wrote(2) && wrote(3);
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
    return 0;
}
