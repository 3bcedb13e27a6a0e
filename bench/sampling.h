// Samples of a running process taken once a second from /proc, and the figures the long
// benchmarks draw from them: means over a window and the trend of a series.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "testing/proc_stats.h"

namespace bench {

struct Sample {
    double seconds = 0;  // since sampling began
    double rssKiB = 0;
    double descriptors = 0;
    double threads = 0;
    double cpu = 0;  // CPU seconds per wall second since the sample before
};

// Samples `pid` once a second for `duration`, or until `alive` says it has gone.
template <typename Alive>
std::vector<Sample> sampleEverySecond(pid_t pid, std::chrono::seconds duration, Alive alive) {
    using Clock = std::chrono::steady_clock;
    std::vector<Sample> samples;
    const auto start = Clock::now();
    using namespace testsupport;
    double lastCpu = cpuSeconds(pid);
    auto last = start;
    for (auto next = start + std::chrono::seconds(1); next <= start + duration; next += std::chrono::seconds(1)) {
        std::this_thread::sleep_until(next);
        if (!alive()) break;
        const auto now = Clock::now();
        const double cpu = cpuSeconds(pid);
        const double wall = std::chrono::duration<double>(now - last).count();
        samples.push_back({std::chrono::duration<double>(now - start).count(), rssKiB(pid), openDescriptors(pid),
                           threadCount(pid), (cpu - lastCpu) / wall});
        lastCpu = cpu;
        last = now;
    }
    return samples;
}

// Mean of one field over samples [from, to).
inline double mean(const std::vector<Sample>& samples, double Sample::*field, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += samples[i].*field;
    return to > from ? sum / static_cast<double>(to - from) : 0;
}

// Least-squares slope of one field against time over samples [from, to), per second.
inline double slopePerSecond(const std::vector<Sample>& samples, double Sample::*field, std::size_t from,
                             std::size_t to) {
    const double n = static_cast<double>(to - from);
    double st = 0, sv = 0, stt = 0, stv = 0;
    for (std::size_t i = from; i < to; ++i) {
        const double t = samples[i].seconds, v = samples[i].*field;
        st += t;
        sv += v;
        stt += t * t;
        stv += t * v;
    }
    const double denominator = n * stt - st * st;
    return denominator > 0 ? (n * stv - st * sv) / denominator : 0;
}

// Every sample as a line of CSV.
inline void writeSamples(const std::string& path, const std::vector<Sample>& samples) {
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (out == nullptr) return;
    std::fprintf(out, "seconds,rss_kib,descriptors,threads,cpu_s_per_s\n");
    for (const Sample& s : samples)
        std::fprintf(out, "%.3f,%.0f,%.0f,%.0f,%.4f\n", s.seconds, s.rssKiB, s.descriptors, s.threads, s.cpu);
    std::fclose(out);
}

inline void print(const std::string& name, double value, const char* unit) {
    std::printf("bench: %s %.4f %s\n", name.c_str(), value, unit);
    std::fflush(stdout);
}

}  // namespace bench
