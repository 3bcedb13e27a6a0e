// What /proc says of a running process: its CPU time, resident memory, open descriptors
// and threads. A process that is gone reads as 0.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

inline std::string procPath(pid_t pid, const std::string& entry) {
    return "/proc/" + std::to_string(pid) + "/" + entry;
}

// utime + stime, in seconds.
inline double cpuSeconds(pid_t pid) {
    std::ifstream in(procPath(pid, "stat"));
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t nameEnd = text.rfind(')');
    if (nameEnd == std::string::npos) return 0;
    // The command name may hold spaces; the fields counted here follow its ')'.
    std::istringstream fields(text.substr(nameEnd + 2));
    std::string skip;
    for (int i = 3; i < 14; ++i) fields >> skip;
    long utime = 0, stime = 0;
    fields >> utime >> stime;
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Time on the CPU of every thread now alive, in seconds, to the nanosecond (schedstat), where
// cpuSeconds counts in clock ticks.
inline double threadsCpuSeconds(pid_t pid) {
    double seconds = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it(procPath(pid, "task"), error), end;
         !error && it != end; it.increment(error)) {
        std::ifstream in(it->path() / "schedstat");
        double nanoseconds = 0;
        if (in >> nanoseconds) seconds += nanoseconds / 1e9;
    }
    return seconds;
}

// A number line of /proc/PID/status, such as "VmRSS:" (in KiB) or "Threads:".
inline double statusValue(pid_t pid, const std::string& key, const std::string& entry = "status") {
    std::ifstream in(procPath(pid, entry));
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0) return std::stod(line.substr(key.size()));
    return 0;
}

inline double rssKiB(pid_t pid) { return statusValue(pid, "VmRSS:"); }
inline double peakRssKiB(pid_t pid) { return statusValue(pid, "VmHWM:"); }
inline double threadCount(pid_t pid) { return statusValue(pid, "Threads:"); }

// Each thread's id and the times it went to sleep of its own accord (its wake-ups), in
// the order the threads were made (ids ascending; the main thread's id is the pid).
inline std::vector<std::pair<pid_t, double>> threadWakeups(pid_t pid) {
    std::vector<std::pair<pid_t, double>> threads;
    std::error_code error;
    for (std::filesystem::directory_iterator it(procPath(pid, "task"), error), end;
         !error && it != end; it.increment(error)) {
        const auto tid = static_cast<pid_t>(std::stol(it->path().filename().string()));
        const std::string status = "task/" + std::to_string(tid) + "/status";
        threads.emplace_back(tid, statusValue(pid, "voluntary_ctxt_switches:", status));
    }
    std::sort(threads.begin(), threads.end());
    return threads;
}

inline double openDescriptors(pid_t pid) {
    std::error_code error;
    double count = 0;
    for (std::filesystem::directory_iterator it(procPath(pid, "fd"), error), end; !error && it != end;
         it.increment(error))
        ++count;
    return count;
}

}  // namespace testsupport
