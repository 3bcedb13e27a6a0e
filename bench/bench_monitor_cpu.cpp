// What the monitor page costs while a flight runs: the service with the four virtual
// racks flying the compressed flight and the companion changing a variable every 100 ms,
// first with the page served and nobody watching, then with one client following its
// event stream (as a browser does). Reported: the service's CPU seconds per wall second in
// both windows, the monitor thread's own (the thread started last, once the racks were
// served), and the bytes the client received per second.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "compressed_flight.h"
#include "service_run.h"
#include "testing/http_client.h"
#include "testing/proc_stats.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kWindow = 10s;
constexpr double kFlightSeconds = 40;

double threadSeconds(pid_t pid, pid_t tid) {
    std::ifstream in(testsupport::procPath(pid, "task/" + std::to_string(tid) + "/schedstat"));
    double nanoseconds = 0;
    return in >> nanoseconds ? nanoseconds / 1e9 : 0.0;
}

struct Window {
    double service = 0;
    double monitor = 0;
};

template <typename Wait>
Window measure(pid_t pid, pid_t monitorThread, Wait wait) {
    const double service = testsupport::threadsCpuSeconds(pid);
    const double monitor = threadSeconds(pid, monitorThread);
    const auto started = Clock::now();
    wait();
    const double wall = std::chrono::duration<double>(Clock::now() - started).count();
    return {(testsupport::threadsCpuSeconds(pid) - service) / wall,
            (threadSeconds(pid, monitorThread) - monitor) / wall};
}

void print(const char* name, double value, const char* unit) {
    std::printf("bench: %s %.4f %s\n", name, value, unit);
}

}  // namespace

int main() {
    testsupport::TempDir scripts;
    scripts.write("companion.jsonl", bench::companionChanges(kFlightSeconds));
    const bench::VirtualRacks racks(bench::rackFlight(kFlightSeconds));
    bench::ServiceRun run("bench-monitor", racks.config(), {"--script", scripts.file("companion.jsonl")},
                          testsupport::binaryPath("orvendale-fs"), {"--monitor", "127.0.0.1:0"});
    testsupport::ChildProcess& service = run.service();
    if (!service.waitForOutput("Launch a flight.", 10s) || !bench::racksWriting(run.log(), 10s)) return 1;
    const std::string output = service.output();
    const auto at = output.find("Monitor page at http://127.0.0.1:");
    if (at == std::string::npos) return 1;
    const auto port = static_cast<std::uint16_t>(std::stoi(output.substr(at + 33)));
    const auto threads = testsupport::threadWakeups(service.pid());
    const pid_t monitorThread = threads.back().first;

    const Window idle = measure(service.pid(), monitorThread, [] { std::this_thread::sleep_for(kWindow); });
    monitortest::Socket client(port);
    client.send("GET /api/events HTTP/1.1\r\nHost: bench\r\n\r\n");
    std::size_t received = 0;
    const Window watched = measure(service.pid(), monitorThread, [&] {
        const auto end = Clock::now() + kWindow;
        while (Clock::now() < end) received = client.readUntil("\n\n\n", 20ms).size();
    });
    print("monitor_service_cpu_no_client", idle.service, "s/s");
    print("monitor_service_cpu_one_client", watched.service, "s/s");
    print("monitor_thread_cpu_no_client", idle.monitor, "s/s");
    print("monitor_thread_cpu_one_client", watched.monitor, "s/s");
    print("monitor_stream_bytes_per_second", static_cast<double>(received) / std::chrono::duration<double>(kWindow).count(),
          "B/s");
    return 0;
}
