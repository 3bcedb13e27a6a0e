// Latency through the service from a rack's line to the simulator: the last byte of a
// joystick message, an EFIS frame or an FCU frame written to the rack's pseudo-terminal,
// to the matching request logged by sim-standin. Each input is written at a random phase
// of the rack's polling, and the moment the handler took it off the line is watched on
// the terminal's input queue, so that the wait for the rack's own polling and the
// overhead after it (parsing, the simulator call, the transport, the stand-in) are
// reported apart. The FCU and joystick inputs are measured again while eight clients
// follow the monitor page's event stream, against the run's own baseline without them.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/little_endian.h"
#include "service_run.h"
#include "testing/http_client.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testsupport::Json;

constexpr int kInputs = 200;
// How often the terminal's input queue is looked at while an input waits to be taken.
constexpr auto kQueueProbe = 100us;

long long nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

class Pty {
public:
    Pty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) std::exit(1);
        slavePath_ = ptsname(master_);
        // Held open only to look at the line's input queue; the service opens its own.
        probe_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ~Pty() {
        ::close(probe_);
        ::close(master_);
    }
    const std::string& slavePath() const { return slavePath_; }
    int master() const { return master_; }
    int queued() const {
        int bytes = 0;
        return ioctl(probe_, FIONREAD, &bytes) == 0 ? bytes : -1;
    }
    void send(const std::string& bytes) const {
        if (::write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            std::exit(1);
    }
    // Returns when the service has taken the bytes just sent off the line: the time then.
    long long waitTaken(long long sentNs) const {
        const auto deadline = Clock::now() + 2s;
        bool arrived = false;
        while (Clock::now() < deadline) {
            const int bytes = queued();
            if (bytes > 0) arrived = true;
            if (bytes == 0 && arrived) return nowNs();
            if (!arrived &&
                Clock::now() > Clock::time_point(std::chrono::nanoseconds(sentNs)) + 5ms)
                return sentNs;  // taken before the queue was ever seen holding it
            std::this_thread::sleep_for(kQueueProbe);
        }
        return sentNs;
    }

private:
    int master_ = -1;
    int probe_ = -1;
    std::string slavePath_;
};

// Reads what the service writes to the panels, so that its writes never stall.
class Drain {
public:
    explicit Drain(std::vector<int> fds)
        : thread_([this, fds] {
              char chunk[512];
              while (!stop_) {
                  bool any = false;
                  for (int fd : fds) any = ::read(fd, chunk, sizeof chunk) > 0 || any;
                  if (!any) std::this_thread::sleep_for(5ms);
              }
          }) {}
    ~Drain() {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::string joystickMessage(int aileron) {
    return "{\"aileron_position\":" + std::to_string(aileron) +
           ",\"elevator_position\":0,\"camera_point_of_interest\":0,\"rudder_trim_plus_pct\":0,"
           "\"rudder_trim_minus_pct\":0,\"spoiler_handle_plus_position\":0,"
           "\"spoiler_handle_minus_position\":0,\"autopilot_master\":0}";
}

std::string frame(std::size_t length, const std::vector<std::pair<std::size_t, int>>& fields) {
    std::string bytes(length, '\0');
    bytes.front() = '{';
    bytes.back() = '}';
    for (const auto& [offset, value] : fields)
        StoreI32(reinterpret_cast<unsigned char*>(&bytes[offset]), value);
    return bytes;
}

struct Samples {
    std::vector<double> latency, wait, overhead;
};

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[at];
}

void print(const std::string& name, double value, const char* unit) {
    std::printf("bench: %s %.3f %s\n", name.c_str(), value, unit);
}

struct Rack {
    std::string name;
    Pty* pty;
    double pollingPeriodMs;
    // The bytes of input `i`, and whether a log entry is the request it causes.
    std::function<std::string(int)> input;
    std::function<bool(const Json&, int)> matches;
};

// One input, not measured, whose request shows that the rack's loop runs and that its
// first frame's settings (the EFIS's range and mode) have gone out. The rack drops what
// queued on its port while it waited for the simulator, so the input is sent again
// until one is answered.
bool warmUp(const Rack& rack, testsupport::StandinLog& log) {
    const std::size_t from = log.size();
    for (int attempt = 0; attempt < 10; ++attempt) {
        rack.pty->send(rack.input(kInputs));
        if (log.waitFor([&](const Json& e) { return rack.matches(e, kInputs); }, 1s, from))
            return true;
    }
    return false;
}

Samples measure(const Rack& rack, testsupport::StandinLog& log, std::mt19937& random) {
    Samples samples;
    if (!warmUp(rack, log)) {
        std::fprintf(stderr, "bench: %s never answered its first input\n", rack.name.c_str());
        std::exit(1);
    }
    std::uniform_int_distribution<int> phase(0, 60);
    for (int i = 0; i < kInputs; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(phase(random)));
        const std::size_t from = log.size();
        rack.pty->send(rack.input(i));
        const long long sent = nowNs();
        const long long taken = rack.pty->waitTaken(sent);
        const auto request =
            log.waitFor([&](const Json& e) { return rack.matches(e, i); }, 3s, from);
        if (!request) {
            std::fprintf(stderr, "bench: %s input %d never reached the stand-in\n",
                         rack.name.c_str(), i);
            std::exit(1);
        }
        const long long arrived = request->value("mono_ns", 0LL);
        samples.latency.push_back(static_cast<double>(arrived - sent) / 1e6);
        samples.wait.push_back(static_cast<double>(std::max(taken - sent, 0LL)) / 1e6);
        // The queue is looked at every 0.1 ms, so the moment it emptied is known to that
        // resolution; a request logged within it counts as no overhead.
        samples.overhead.push_back(
            static_cast<double>(std::max(arrived - std::max(taken, sent), 0LL)) / 1e6);
    }
    return samples;
}

void report(const Rack& rack, const Samples& samples) {
    const std::string prefix = "rack_latency_" + rack.name;
    print(prefix + "_p50", percentile(samples.latency, 0.5), "ms");
    print(prefix + "_p99", percentile(samples.latency, 0.99), "ms");
    print(prefix + "_polling_wait_p99", percentile(samples.wait, 0.99), "ms");
    print(prefix + "_overhead_p50", percentile(samples.overhead, 0.5), "ms");
    print(prefix + "_overhead_p99", percentile(samples.overhead, 0.99), "ms");
    print(prefix + "_overhead_p99_vs_polling_period",
          percentile(samples.overhead, 0.99) / rack.pollingPeriodMs, "ratio");
}

// Clients of the monitor's event stream that read everything it sends, on a thread of
// their own.
class StreamClients {
public:
    StreamClients(std::uint16_t port, int count) {
        for (int i = 0; i < count; ++i) {
            clients_.push_back(std::make_unique<monitortest::Socket>(port));
            clients_.back()->send("GET /api/events HTTP/1.1\r\nHost: bench\r\n\r\n");
            if (clients_.back()->readUntil("data: {", 5s).find("200 OK") == std::string::npos) std::exit(1);
        }
        thread_ = std::thread([this] {
            while (!stop_)
                for (auto& client : clients_) client->readUntil("\n\n\n", 5ms);
        });
    }
    ~StreamClients() {
        stop_ = true;
        thread_.join();
    }

private:
    std::vector<std::unique_ptr<monitortest::Socket>> clients_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

void compare(const std::string& name, const Samples& alone, const Samples& watched) {
    const std::string prefix = "rack_latency_" + name + "_8_clients";
    print(prefix + "_p50", percentile(watched.latency, 0.5), "ms");
    print(prefix + "_p99", percentile(watched.latency, 0.99), "ms");
    print(prefix + "_overhead_p50", percentile(watched.overhead, 0.5), "ms");
    print(prefix + "_p50_vs_0_clients", percentile(watched.latency, 0.5) / percentile(alone.latency, 0.5), "ratio");
    print(prefix + "_overhead_p50_vs_0_clients",
          percentile(watched.overhead, 0.5) / std::max(percentile(alone.overhead, 0.5), 0.001), "ratio");
}

bool isRequest(const Json& entry, const char* request) {
    return entry.value("request", "") == request && entry.contains("fields");
}

}  // namespace

int main() {
    Pty joystick, efis, fcu;
    const Json config = {{joystick.slavePath(), "joystick_rack"},
                         {efis.slavePath(), "efis_rack"},
                         {fcu.slavePath(), "autopilot_rack"}};
    bench::ServiceRun run("bench-latency", config.dump(), {}, testsupport::binaryPath("orvendale-fs"),
                          {"--monitor", "127.0.0.1:0"});
    testsupport::StandinLog& log = run.log();
    testsupport::ChildProcess& service = run.service();
    Drain drain({efis.master(), fcu.master()});
    if (!log.waitForMessage("OPEN", nullptr, 10s) ||
        !service.waitForOutput("Launch a flight.", 10s))
        return 1;
    const std::string output = service.output();
    const auto at = output.find("Monitor page at http://127.0.0.1:");
    if (at == std::string::npos) return 1;
    const auto port = static_cast<std::uint16_t>(std::stoi(output.substr(at + 33)));

    // Knob turns alternate in direction so that the aircraft's values stay in range; the
    // k-th event of the knob's pair answers the k-th frame.
    const auto nthEvent = [](const char* inc, const char* dec) {
        return [inc, dec](const Json& entry, int) {
            if (!isRequest(entry, "TransmitClientEvent")) return false;
            const std::string event = entry["fields"].value("event", "");
            return event == inc || event == dec;
        };
    };
    const Rack racks[] = {
        {"joystick", &joystick, 50.0, [](int i) { return joystickMessage(1000 + i); },
         [](const Json& e, int i) {
             return isRequest(e, "SetDataOnSimObject") && e["fields"].value("DefineID", 0) == 2 &&
                    e["fields"]["values"].value("AILERON POSITION", 0.0) == 1000 + i;
         }},
        {"efis", &efis, 50.0,
         [](int i) {
             return frame(30, {{1, i % 2 ? -1 : 1}, {17, 2}, {21, 3}});
         },
         nthEvent("KOHLSMAN_INC", "KOHLSMAN_DEC")},
        {"fcu", &fcu, 50.0,
         [](int i) {
             return frame(82, {{1, i % 2 ? -1 : 1}});
         },
         nthEvent("AP_SPD_VAR_INC", "AP_SPD_VAR_DEC")},
    };

    std::mt19937 random(20240611);
    std::vector<Samples> alone;
    for (const Rack& rack : racks) {
        alone.push_back(measure(rack, log, random));
        report(rack, alone.back());
    }
    const StreamClients watching(port, 8);
    for (std::size_t i : {std::size_t{0}, std::size_t{2}})
        compare(racks[i].name, alone[i], measure(racks[i], log, random));
    return 0;
}
