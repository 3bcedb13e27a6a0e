// Test helpers for whole-process tests: a temporary folder, a child process whose output
// is captured, and waits that always have a bound.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

using namespace std::chrono_literals;

// Path of a program built by this project, such as "sim-standin".
std::string binaryPath(const std::string& name);

// Polls `done` every `step` until it is true or `timeout` has passed; returns its last value.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
               std::chrono::milliseconds step = 5ms);

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    void write(const std::string& name, const std::string& content) const;
    std::string read(const std::string& name) const;  // empty when missing

private:
    std::string path_;
};

// A fresh folder that is this process's working directory and HOME while it lives, for
// code that reads its configuration from both.
class WorkFolder : public TempDir {
public:
    WorkFolder();
    ~WorkFolder();
};

struct ProcessOptions {
    std::vector<std::string> args;  // args[0] is the program: its path, or a name in PATH
    std::string cwd = {};           // empty: the test's own
    // Variables set (or replaced) in the child's environment; the rest is inherited.
    std::vector<std::pair<std::string, std::string>> env = {};
};

// A child process with its standard output and error captured. The destructor kills it
// if it is still running.
class ChildProcess {
public:
    explicit ChildProcess(ProcessOptions options);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    std::string output() const;
    // Waits until the output holds `needle` at or after byte `from`; returns its position.
    std::optional<std::size_t> waitForOutput(const std::string& needle,
                                             std::chrono::milliseconds timeout,
                                             std::size_t from = 0) const;
    // Exit code, or 128 + signal number; empty when still running after `timeout`.
    std::optional<int> waitExit(std::chrono::milliseconds timeout);
    bool running();
    void signal(int sig) const;

private:
    void readLoop(int fd);

    pid_t pid_ = -1;
    std::optional<int> status_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::string output_;
    bool outputClosed_ = false;
    std::thread reader_;
};

}  // namespace testsupport
